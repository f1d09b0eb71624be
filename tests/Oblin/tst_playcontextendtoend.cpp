// The whole road of a queue: WAV files on disk, resolved through their file
// hints, decoded by the FFmpeg plug-in, fed by the player into the real
// audio output, whose SDL device is the disk driver writing raw floats.

#include "Oblin/PlayContext.h"
#include "Rasko/PluginRegistry.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoGME/GMEDecoderPlugin.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/support/ChipFixtures.h"
#include "tests/support/DecoderHelperProbe.h"
#include "tests/support/WavFixture.h"

#include <QDataStream>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <csignal>

using namespace vessa;
using namespace vessa::test;

class PlayContextEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void queuePlaysThroughToTheDevice()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString devicePath = dir.filePath(QStringLiteral("device.raw"));
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(devicePath));
        qputenv("SDL_DISKAUDIODELAY", "1"); // much faster than real time

        // Three stereo tones of different pitch and length, at the device's rate.
        QList<TrackRef> tracks;
        QList<std::optional<QString>> hints;
        std::vector<float> expected;
        for (int i = 0; i < 3; ++i) {
            WavFixture wav{
                .frameCount = 12000 + 7000 * i, .content = WavFixture::Content::sine, .frequency = 330.0 + 220.0 * i};
            const QString path = dir.filePath(QStringLiteral("tone %1.wav").arg(i));
            QVERIFY(wav.write(path));
            tracks.append(
                TrackRef(QStringLiteral("Tester"), QStringLiteral("Tones"), QStringLiteral("Tone %1").arg(i)));
            hints.append(QUrl::fromLocalFile(path).toString());
            for (qint64 frame = 0; frame < wav.frameCount; ++frame) // never silent in both channels
                expected.insert(expected.end(), {wav.sample(frame, 0), wav.sample(frame, 1)});
        }

        {
            auto registry = std::make_shared<PluginRegistry>(
                QList<SourcePluginPtr>{}, QList<DecoderPluginPtr>{std::make_shared<CoreAudioDecoderPlugin>(8192)});
            AVAudioEngineOutput output;
            Player player(output);
            PlayContext context(player,
                                std::make_shared<TrackResolver>(registry, registry->buildCompositeMetadataExtractor()));
            context.loadQueue(tracks, 0, hints);
            std::optional<std::exception_ptr> outcome;
            context.execute(PlaybackCommand::play(), [&](std::exception_ptr error) { outcome = error; });
            QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20000);
            QVERIFY2(!*outcome, qUtf8Printable(describeException(*outcome)));
            // The last track started and then ended by itself.
            QTRY_VERIFY_WITH_TIMEOUT(context.playingIndex() == 2 && player.transportState() == TransportState::idle(),
                                     25000);
            QVERIFY(!context.lastError());
        } // closing the device finishes the file

        QFile file(devicePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QDataStream device(&file);
        device.setByteOrder(QDataStream::LittleEndian);
        device.setFloatingPointPrecision(QDataStream::SinglePrecision);
        std::vector<float> written;
        for (float left = 0, right = 0; !device.atEnd();) {
            device >> left >> right;
            if (left != 0.0f || right != 0.0f) // not what the device writes while nothing is queued
                written.insert(written.end(), {left, right});
        }
        QCOMPARE(written.size(), expected.size());
        QVERIFY(written == expected);
    }

    // The helper rendering a chip track crashes while it plays: what it had
    // rendered plays out, the user is told which file failed, and the next
    // track plays to its end.
    void aDecoderHelperDyingMidTrackIsReportedAndTheNextTrackPlays()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(dir.filePath(QStringLiteral("device.raw"))));
        qputenv("SDL_DISKAUDIODELAY", "1");
        const QString chip = dir.filePath(QStringLiteral("long.vgm"));
        const QString wav = dir.filePath(QStringLiteral("after.wav"));
        QFile chipFile(chip);
        QVERIFY(chipFile.open(QIODevice::WriteOnly) && chipFile.write(toneVgm({{0, 600.0}})) > 0);
        chipFile.close();
        QVERIFY((WavFixture{.frameCount = 12000, .content = WavFixture::Content::sine, .frequency = 440.0}.write(wav)));
        const QList<TrackRef> tracks{TrackRef(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("Long")),
                                     TrackRef(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("After"))};

        auto registry = std::make_shared<PluginRegistry>(
            QList<SourcePluginPtr>{}, QList<DecoderPluginPtr>{std::make_shared<GMEDecoderPlugin>(VESSA_DECODER_HELPER),
                                                              std::make_shared<CoreAudioDecoderPlugin>(8192)});
        AVAudioEngineOutput output;
        Player player(output);
        PlayContext context(player,
                            std::make_shared<TrackResolver>(registry, registry->buildCompositeMetadataExtractor()));
        context.loadQueue(
            tracks, 0,
            QList<std::optional<QString>>{QUrl::fromLocalFile(chip).toString(), QUrl::fromLocalFile(wav).toString()});
        context.execute(PlaybackCommand::play());
        QTRY_VERIFY_WITH_TIMEOUT(context.playingIndex() == 0 && player.transportState().isPlaying(), 20000);
        const QSet<qint64> workers = helperWorkers();
        QCOMPARE(workers.size(), 1);
        ::kill(pid_t(*workers.begin()), SIGKILL);

        QTRY_VERIFY_WITH_TIMEOUT(context.lastError(), 20000);
        QCOMPARE(describeException(context.lastError()),
                 QStringLiteral("The decoder stopped unexpectedly while reading \u201Clong.vgm\u201D."));
        QTRY_VERIFY_WITH_TIMEOUT(context.playingIndex() == 1 && player.transportState() == TransportState::idle(),
                                 25000);
        QCOMPARE(zombieChildren(), 0);
    }
};

QTEST_GUILESS_MAIN(PlayContextEndToEndTest)
#include "tst_playcontextendtoend.moc"
