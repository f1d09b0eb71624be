// The whole road of a queue: WAV files on disk, resolved through their file
// hints, decoded by the FFmpeg plug-in, fed by the player into the real
// audio output, whose SDL device is the disk driver writing raw floats.

#include "Oblin/PlayContext.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "Rasko/PluginRegistry.h"
#include "Rasko/TrackResolver.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Player.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/WavFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <cstring>

using namespace vessa;
using namespace vessa::test;

namespace {

// Frames as interleaved samples, leaving out frames that are silent in
// every channel (what the device writes while nothing is queued).
void appendAudibleFrames(std::vector<float>& out, const float* interleaved, std::size_t frames, std::size_t channels)
{
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const float* samples = interleaved + frame * channels;
        if (std::any_of(samples, samples + channels, [](float s) { return s != 0.0f; }))
            out.insert(out.end(), samples, samples + channels);
    }
}

std::vector<float> decodedAudio(DecoderPlugin& decoder, const QString& path)
{
    AudioStream stream = decoder.open(SourceLocator::fileURL(path), std::nullopt);
    std::vector<float> out;
    for (const PCMBuffer& buffer : drainStream(*stream.buffers)) {
        std::vector<float> interleaved;
        for (qint64 n = 0; n < buffer.frameCount(); ++n)
            for (const auto& channel : buffer.channelData)
                interleaved.push_back(channel[std::size_t(n)]);
        appendAudibleFrames(out, interleaved.data(), std::size_t(buffer.frameCount()), buffer.channelData.size());
    }
    return out;
}

} // namespace

class PlayContextEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void queuePlaysThroughToTheDevice();
};

void PlayContextEndToEndTest::queuePlaysThroughToTheDevice()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString devicePath = dir.filePath(QStringLiteral("device.raw"));
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(devicePath));
    qputenv("SDL_DISKAUDIODELAY", "1"); // much faster than real time

    auto decoder = std::make_shared<CoreAudioDecoderPlugin>(8192);
    auto registry = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{}, QList<DecoderPluginPtr>{decoder});
    auto resolver = std::make_shared<TrackResolver>(registry, registry->buildCompositeMetadataExtractor());

    // Three tones of different pitch and length, all in the device's format.
    QList<TrackRef> tracks;
    QList<std::optional<QString>> hints;
    std::vector<float> expected;
    for (int i = 0; i < 3; ++i) {
        WavFixture wav;
        wav.frameCount = 12000 + 7000 * i;
        wav.content = WavFixture::Content::sine;
        wav.frequency = 330.0 + 220.0 * i;
        const QString path = dir.filePath(QStringLiteral("tone %1.wav").arg(i));
        QVERIFY(wav.write(path));
        tracks.append(TrackRef(QStringLiteral("Tester"), QStringLiteral("Tones"), QStringLiteral("Tone %1").arg(i)));
        hints.append(QUrl::fromLocalFile(path).toString());
        const std::vector<float> audio = decodedAudio(*decoder, path);
        QCOMPARE(audio.size(), std::size_t(wav.frameCount * 2));
        expected.insert(expected.end(), audio.begin(), audio.end());
    }

    {
        AVAudioEngineOutput output;
        Player player(output);
        PlayContext context(player, resolver);
        context.loadQueue(tracks, 0, hints, std::nullopt, QStringLiteral("tones"));
        std::optional<std::exception_ptr> outcome;
        context.execute(PlaybackCommand::play(), [&](std::exception_ptr error) { outcome = error; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20000);
        QVERIFY2(!*outcome, qUtf8Printable(describeException(*outcome)));
        QTRY_VERIFY(context.currentMetadata().has_value());

        // The last track started and then ended by itself.
        QTRY_VERIFY_WITH_TIMEOUT(context.playingIndex() == 2 && player.transportState() == TransportState::idle(),
                                 25000);
        QCOMPARE(context.currentIndex(), std::optional<qsizetype>(2));
        QVERIFY(!context.lastError());
    } // closing the device finishes the file

    QFile file(devicePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<float> written(std::size_t(bytes.size()) / sizeof(float));
    std::memcpy(written.data(), bytes.constData(), written.size() * sizeof(float));
    QCOMPARE(written.size() % 2, std::size_t(0));
    std::vector<float> audible;
    appendAudibleFrames(audible, written.data(), written.size() / 2, 2);

    QCOMPARE(audible.size(), expected.size());
    const auto mismatch = std::mismatch(audible.begin(), audible.end(), expected.begin());
    QVERIFY2(mismatch.first == audible.end(),
             qPrintable(QStringLiteral("first difference at sample %1").arg(mismatch.first - audible.begin())));
}

QTEST_GUILESS_MAIN(PlayContextEndToEndTest)
#include "tst_playcontextendtoend.moc"
