#include "Vessa/App/NowPlaying/NowPlayingBridge.h"
#include "Vessa/App/NowPlaying/NowPlayingCommands.h"
#include "Vessa/App/NowPlaying/NowPlayingSnapshot.h"
#include "Vessa/App/NowPlaying/VolumeState.h"
#include "VessaCore/Clock.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/support/PlayContextRig.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;

namespace {

const QString category = QStringLiteral("com.tornwick.vessa.nowplaying");

// A play context over five ten-second tracks, and the remote commands on it.
struct CommandsRig : PlayContextRig {
    NowPlayingCommands commands{*context};
    QList<qint64> seeked;

    CommandsRig()
    {
        decoder->setScript(FakeStreamScript{.bufferCount = 100});
        commands.setSeekedHandler([this](qint64 position) { seeked.append(position); });
    }
    QStringList remoteLines() const { return log.messages(category); }
    bool executed(const QString& command) const { return lines().contains(QStringLiteral("execute: ") + command); }
    bool playingAt(double seconds)
    {
        if (!startPlaying(0))
            return false;
        output.setCurrentTime(seconds);
        return QTest::qWaitFor([&] { return context->clock()->position() == seconds; }, 10000)
               && context->clock()->duration() == 10.0;
    }
};

enum class Start { playing, paused, idle };

} // namespace

Q_DECLARE_METATYPE(Start)

class NowPlayingCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void playPause_data()
    {
        QTest::addColumn<Start>("start");
        QTest::addColumn<QString>("sent");
        QTest::newRow("playing: pauses") << Start::playing << QStringLiteral("pause");
        QTest::newRow("paused: plays") << Start::paused << QStringLiteral("play");
        QTest::newRow("idle: plays") << Start::idle << QStringLiteral("play");
    }
    void playPause()
    {
        QFETCH(Start, start);
        QFETCH(QString, sent);
        CommandsRig rig;
        if (start == Start::idle) {
            rig.context->loadQueue(rig.tracks, 0);
        } else {
            QVERIFY(rig.startPlaying(0));
            if (start == Start::paused)
                QCOMPARE(rig.run(PlaybackCommand::pause()), QString());
        }
        rig.commands.playPause();
        QVERIFY(rig.remoteLines().contains(QStringLiteral("Remote command: ") + sent));
        QVERIFY(rig.executed(sent));
        QTRY_COMPARE(rig.context->transportState().isPlaying(), sent == QStringLiteral("play"));
    }

    void stopPauses()
    {
        CommandsRig rig;
        QVERIFY(rig.startPlaying(0));
        rig.commands.stop();
        QTRY_COMPARE(rig.context->transportState().kind(), TransportState::Kind::paused);
        QCOMPARE(rig.context->playingIndex(), Index(0)); // the track stays
    }

    void setPosition_data()
    {
        QTest::addColumn<int>("trackOfId");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<bool>("seeks");
        QTest::newRow("current track") << 0 << qint64(4'000'000) << true;
        QTest::newRow("to the very end") << 0 << qint64(10'000'000) << true;
        QTest::newRow("stale track id") << 1 << qint64(4'000'000) << false;
        QTest::newRow("negative position") << 0 << qint64(-1) << false;
        QTest::newRow("past the length") << 0 << qint64(10'000'001) << false;
    }
    void setPosition()
    {
        QFETCH(int, trackOfId);
        QFETCH(qint64, position);
        QFETCH(bool, seeks);
        CommandsRig rig;
        QVERIFY(rig.playingAt(1.0));
        rig.commands.setPosition(mprisTrackId(rig.tracks[trackOfId]), position);
        if (!seeks) {
            QVERIFY(rig.lines().filter(QStringLiteral("execute: seek")).isEmpty());
            QCOMPARE(rig.remoteLines().filter(QStringLiteral("Remote command ignored: SetPosition")).size(), 1);
            QVERIFY(rig.seeked.isEmpty());
            return;
        }
        QTRY_COMPARE(rig.decoder->seekPositions(), QList<double>{double(position) / 1e6});
        QTRY_COMPARE(rig.seeked, QList<qint64>{position});
    }

    void setPositionWithoutLoadedTrack()
    {
        CommandsRig rig;
        rig.context->loadQueue(rig.tracks, 0); // current, but never played
        rig.commands.setPosition(mprisTrackId(rig.tracks[0]), 1'000'000);
        rig.commands.seek(1'000'000);
        QCOMPARE(rig.remoteLines().filter(QStringLiteral("Remote command ignored")).size(), 2);
        QVERIFY(rig.lines().filter(QStringLiteral("execute")).isEmpty());
    }

    void seek_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<double>("target"); // negative: moves to the next track
        QTest::newRow("forward") << qint64(2'500'000) << 5.5;
        QTest::newRow("back past the start") << qint64(-5'000'000) << 0.0;
        QTest::newRow("past the end") << qint64(8'000'000) << -1.0;
    }
    void seek()
    {
        QFETCH(qint64, offset);
        QFETCH(double, target);
        CommandsRig rig;
        QVERIFY(rig.playingAt(3.0));
        rig.commands.seek(offset);
        if (target < 0) {
            QVERIFY(rig.remoteLines().contains(QStringLiteral("Remote command: next")));
            QTRY_COMPARE(rig.context->playingIndex(), Index(1));
            QVERIFY(rig.decoder->seekPositions().isEmpty());
            return;
        }
        QTRY_COMPARE(rig.decoder->seekPositions(), QList<double>{target});
        QTRY_COMPARE(rig.seeked, QList<qint64>{microseconds(target)});
    }

    void failingCommandIsOnlyLogged()
    {
        CommandsRig rig;
        rig.source->addFailingTrack(rig.tracks[1], QStringLiteral("No such file"));
        QVERIFY(rig.startPlaying(0));
        rig.commands.next(); // returns at once; the failure comes later
        QTRY_VERIFY(rig.remoteLines().contains(QStringLiteral("Remote command failed: No such file")));
        const auto failures = [&] {
            int count = 0;
            for (const LogCapture::Entry& entry : rig.log.entries())
                count += entry.category == category && entry.type == QtCriticalMsg;
            return count;
        };
        QCOMPARE(failures(), 1);
        QCOMPARE(rig.lastError(), QStringLiteral("No such file")); // kept where the window shows it
        QVERIFY(rig.seeked.isEmpty());
    }

    void withoutSessionBusTheBridgeStaysInert()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vessa-test-bus");
        CommandsRig rig;
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        AVAudioEngineOutput output;
        VolumeState volume(output, settings);
        {
            NowPlayingBridge bridge(*rig.context, volume, folder.path());
            QCOMPARE(bridge.busName(), QString());
            QVERIFY(rig.startPlaying(0)); // playback goes on without it
        }
        QCOMPARE(rig.remoteLines(), QStringList{QStringLiteral(
                                        "No session bus: media keys and desktop playback controls are unavailable")});
    }
};

QTEST_GUILESS_MAIN(NowPlayingCommandsTest)
#include "tst_nowplayingcommands.moc"
