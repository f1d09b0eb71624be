#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"

#include <SDL.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace vessa;

namespace {

constexpr int waitMs = 25000;

// Planar buffers of a recognisable, never-silent signal.
std::vector<PCMBuffer> signalBuffers(const AudioFormat& format, int count, std::size_t frames)
{
    std::vector<PCMBuffer> buffers;
    for (int b = 0; b < count; ++b) {
        std::vector<std::vector<float>> channels(static_cast<std::size_t>(format.channelCount), std::vector<float>(frames));
        for (std::size_t c = 0; c < channels.size(); ++c)
            for (std::size_t n = 0; n < frames; ++n)
                channels[c][n] = 0.05f + 0.0001f * static_cast<float>((static_cast<std::size_t>(b) * frames + n) % 5000)
                    - 0.5f * static_cast<float>(c);
        buffers.emplace_back(format, std::move(channels));
    }
    return buffers;
}

// Schedules the buffers, plays them and waits (bounded) until all were rendered.
bool playToTheEnd(AVAudioEngineOutput& output, const AudioFormat& format, const std::vector<PCMBuffer>& buffers)
{
    output.prepare(format);
    std::stop_source giveUp;
    std::atomic<bool> drained {false};
    std::jthread feeder([&] {
        for (const PCMBuffer& buffer : buffers)
            output.schedule(buffer, giveUp.get_token());
        output.waitForQueueDrained(giveUp.get_token());
        drained = !giveUp.stop_requested();
    });
    output.play();
    const bool finished = QTest::qWaitFor([&] { return drained.load(); }, waitMs);
    giveUp.request_stop();
    return finished;
}

} // namespace

class SdlAudioDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void dummyDriverPlaysEverything();
    void diskDriverWritesTheScheduledSamples();
};

void SdlAudioDeviceTest::dummyDriverPlaysEverything()
{
    qputenv("SDL_AUDIODRIVER", "dummy");
    const AudioFormat format(48000, 2, 4, false);
    const auto buffers = signalBuffers(format, 4, 2400);
    AVAudioEngineOutput output;
    QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), 0u); // built without touching the sound system

    output.prepare(format);
    QVERIFY(SDL_WasInit(SDL_INIT_AUDIO) != 0);
    QCOMPARE(QString::fromUtf8(SDL_GetCurrentAudioDriver()), QStringLiteral("dummy"));

    QVERIFY(playToTheEnd(output, format, buffers));
    QCOMPARE(output.currentTime(), 0.2); // 9600 frames at 48 kHz
}

void SdlAudioDeviceTest::diskDriverWritesTheScheduledSamples()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.raw"));
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(path));
    qputenv("SDL_DISKAUDIODELAY", "1"); // much faster than real time

    const AudioFormat format(44100, 2, 4, false);
    const auto buffers = signalBuffers(format, 10, 3000);
    {
        AVAudioEngineOutput output;
        QVERIFY(playToTheEnd(output, format, buffers));
        QCOMPARE(QString::fromUtf8(SDL_GetCurrentAudioDriver()), QStringLiteral("disk"));
    } // closing the device finishes the file

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<float> written(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(written.data(), bytes.constData(), written.size() * sizeof(float));

    std::vector<float> expected;
    for (const PCMBuffer& buffer : buffers)
        for (qint64 n = 0; n < buffer.frameCount(); ++n)
            for (const auto& channel : buffer.channelData)
                expected.push_back(channel[static_cast<std::size_t>(n)]);

    // Silence until play, then the scheduled samples unchanged, then silence.
    const auto start = std::find_if(written.begin(), written.end(), [](float s) { return s != 0.0f; });
    QVERIFY(start != written.end());
    QCOMPARE((start - written.begin()) % 2, 0);
    QVERIFY(written.end() - start >= static_cast<std::ptrdiff_t>(expected.size()));
    QVERIFY(std::equal(expected.begin(), expected.end(), start));
    QVERIFY(std::all_of(start + static_cast<std::ptrdiff_t>(expected.size()), written.end(), [](float s) { return s == 0.0f; }));
}

QTEST_GUILESS_MAIN(SdlAudioDeviceTest)
#include "tst_sdlaudiodevice.moc"
