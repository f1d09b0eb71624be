#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"

#include <SDL.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

using namespace vessa;

class SdlAudioDeviceTest : public QObject {
    Q_OBJECT

private slots:
    // Plays a recognisable, never-silent signal through one of SDL's
    // drivers; the disk driver's file must hold exactly the scheduled samples.
    void playsThroughDriver_data()
    {
        QTest::addColumn<QByteArray>("driver");
        QTest::newRow("dummy") << QByteArray("dummy");
        QTest::newRow("disk") << QByteArray("disk");
    }

    void playsThroughDriver()
    {
        QFETCH(QByteArray, driver);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.raw"));
        qputenv("SDL_AUDIODRIVER", driver);
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(path));
        qputenv("SDL_DISKAUDIODELAY", "1"); // much faster than real time

        const AudioFormat format(48000, 2, 4, false);
        std::vector<PCMBuffer> buffers;
        std::vector<float> expected; // interleaved
        for (std::size_t b = 0; b < 6; ++b) {
            std::vector<std::vector<float>> channels(2, std::vector<float>(2000));
            for (std::size_t n = 0; n < 2000; ++n) {
                channels[0][n] = 0.05f + 0.0001f * static_cast<float>((b * 2000 + n) % 5000);
                channels[1][n] = -channels[0][n];
                expected.insert(expected.end(), {channels[0][n], channels[1][n]});
            }
            buffers.emplace_back(format, std::move(channels));
        }
        {
            AVAudioEngineOutput output;
            QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), 0u); // built without touching the sound system
            output.prepare(format);
            QCOMPARE(QByteArray(SDL_GetCurrentAudioDriver()), driver);
            std::stop_source giveUp;
            std::atomic<bool> drained{false};
            std::jthread feeder([&] {
                for (const PCMBuffer& buffer : buffers)
                    output.schedule(buffer, giveUp.get_token());
                output.waitForQueueDrained(giveUp.get_token());
                drained = !giveUp.stop_requested();
            });
            output.play();
            const bool finished = QTest::qWaitFor([&] { return drained.load(); }, 25000);
            giveUp.request_stop();
            QVERIFY(finished);
            QCOMPARE(output.currentTime(), 0.25); // 12000 frames at 48 kHz
        }                                         // closing the device finishes the file
        if (driver != "disk")
            return;

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        std::vector<float> written(static_cast<std::size_t>(bytes.size()) / sizeof(float));
        std::memcpy(written.data(), bytes.constData(), written.size() * sizeof(float));
        // Silence until play, then the scheduled samples unchanged, then silence.
        const auto start = std::find_if(written.begin(), written.end(), [](float s) { return s != 0.0f; });
        const auto end = start + std::min(written.end() - start, static_cast<std::ptrdiff_t>(expected.size()));
        QVERIFY(std::equal(expected.begin(), expected.end(), start, end));
        QVERIFY(std::all_of(end, written.end(), [](float s) { return s == 0.0f; }));
    }
};

QTEST_GUILESS_MAIN(SdlAudioDeviceTest)
#include "tst_sdlaudiodevice.moc"
