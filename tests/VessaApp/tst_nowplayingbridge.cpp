// Drives the real bridge on the session bus of dbus-run-session, through
// playerctl and through a second bus connection that watches its signals.

#include "Vessa/App/NowPlaying/NowPlayingBridge.h"
#include "Vessa/App/NowPlaying/VolumeState.h"
#include "VessaCore/Clock.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/support/ImageFixture.h"
#include "tests/support/PlayContextRig.h"
#include "tests/support/Playerctl.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace vessa;
using namespace vessa::test;

namespace {

const QString path = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString service = QStringLiteral("org.mpris.MediaPlayer2.vessa");

// The bridge over a play context of five ten-second tracks.
struct BridgeRig : PlayContextRig {
    QTemporaryDir folder;
    QSettings settings{folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    AVAudioEngineOutput audioOutput;
    VolumeState volume{audioOutput, settings};
    std::unique_ptr<NowPlayingBridge> bridge;

    BridgeRig()
    {
        decoder->setScript(FakeStreamScript{.bufferCount = 100});
        // The second track has a cover.
        decoder->setMetadata(path(1), TrackMetadata{.title = QStringLiteral("Title 1"),
                                                    .artworkData = imageBytes(Qt::darkCyan, "PNG", QSize(4, 4))});
        bridge = std::make_unique<NowPlayingBridge>(*context, volume, folder.path());
    }
    ~BridgeRig() { bridge.reset(); }
};

} // namespace

// The bridge's signals as another bus client sees them.
class BusWatcher : public QObject {
    Q_OBJECT

public:
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

    BusWatcher()
    {
        bus.connect(QString(), path, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        bus.connect(QString(), path, playerInterface, QStringLiteral("Seeked"), this, SLOT(seeked(qlonglong)));
    }
    ~BusWatcher() override { QDBusConnection::disconnectFromBus(QStringLiteral("watcher")); }

    // Waits for a change of `property` to `value` and returns the properties
    // sent with it.
    QStringList waitForChange(const QString& property, const QVariant& value = {})
    {
        QStringList keys;
        (void)QTest::qWaitFor(
            [&] {
                for (const QVariantMap& change : changes)
                    if (change.contains(property) && (!value.isValid() || change.value(property) == value))
                        keys = change.keys();
                return !keys.isEmpty();
            },
            10000);
        return keys;
    }
    // Calls a method of the bridge without blocking the event loop it answers from.
    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = bus.asyncCall(message);
        (void)QTest::qWaitFor([&] { return pending.isFinished(); }, 10000);
        return pending.reply();
    }
    QVariant property(const QString& interface, const QString& name)
    {
        const QDBusMessage reply =
            call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
        return reply.arguments().isEmpty() ? QVariant() : reply.arguments().first().value<QDBusVariant>().variant();
    }

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == playerInterface)
            changes.append(changed);
    }
    void seeked(qlonglong position) { seeks.append(position); }
};

class NowPlayingBridgeTest : public QObject {
    Q_OBJECT

private slots:
    void playerctlDrivesTheBridge()
    {
        BusWatcher watcher;
        QVERIFY(watcher.bus.isConnected());
        BridgeRig rig;
        QCOMPARE(rig.bridge->busName(), service);
        QVERIFY(rig.log.contains(QStringLiteral("com.tornwick.vessa.nowplaying"),
                                 QStringLiteral("Remote commands registered")));
        QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));

        // Playing: status, and the metadata with the reference's artist and album.
        QVERIFY(rig.startPlaying(0));
        QCOMPARE(watcher.waitForChange(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")).isEmpty(), false);
        QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
        QTRY_COMPARE_WITH_TIMEOUT(
            playerctl({QStringLiteral("metadata"), QStringLiteral("--format"),
                       QStringLiteral("{{title}}|{{artist}}|{{album}}|{{mpris:length}}|{{mpris:trackid}}")}),
            QStringLiteral("Title 0|Artist|Album|10000000|'%1'").arg(mprisTrackId(rig.tracks[0])), 10000);

        // Play-pause pauses, and only the status is sent as changed.
        watcher.changes.clear();
        QCOMPARE(playerctl({QStringLiteral("play-pause")}), QString());
        QTRY_COMPARE(rig.context->transportState().kind(), TransportState::Kind::paused);
        QCOMPARE(watcher.waitForChange(QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")),
                 QStringList{QStringLiteral("PlaybackStatus")});
        playerctl({QStringLiteral("play-pause")});
        QTRY_VERIFY(rig.context->transportState().isPlaying());

        // An absolute position (SetPosition with the track id), then a relative one (Seek).
        playerctl({QStringLiteral("position"), QStringLiteral("4")});
        QTRY_COMPARE(rig.decoder->seekPositions(), QList<double>{4.0});
        QTRY_COMPARE(watcher.seeks, QList<qlonglong>{4'000'000});
        QTRY_COMPARE(rig.context->clock()->position(), 4.0);
        playerctl({QStringLiteral("position"), QStringLiteral("2+")});
        QTRY_COMPARE(rig.decoder->seekPositions(), (QList<double>{4.0, 6.0}));
        QTRY_COMPARE(watcher.seeks, (QList<qlonglong>{4'000'000, 6'000'000}));
        // playerctl adds the time since it last heard of the position.
        QTRY_VERIFY(std::abs(playerctl({QStringLiteral("position")}).toDouble() - 6.0) < 0.5);

        // A seek from the window's scrubber is noticed as a jump.
        QCOMPARE(rig.run(PlaybackCommand::seek(1.0)), QString());
        QTRY_COMPARE(watcher.seeks, (QList<qlonglong>{4'000'000, 6'000'000, 1'000'000}));

        // Next: new metadata.
        playerctl({QStringLiteral("next")});
        QTRY_COMPARE(rig.context->playingIndex(), Index(1));
        QTRY_COMPARE_WITH_TIMEOUT(playerctl({QStringLiteral("metadata"), QStringLiteral("title")}),
                                  QStringLiteral("Title 1"), 10000);
        QVERIFY(watcher.waitForChange(QStringLiteral("Metadata")).contains(QStringLiteral("Metadata")));
        QString artUrl;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(artUrl = playerctl({QStringLiteral("metadata"), QStringLiteral("mpris:artUrl")})).isEmpty(), 10000);
        const QString artFile = QUrl(artUrl).toLocalFile();
        QVERIFY2(artFile.startsWith(rig.folder.path() + QStringLiteral("/nowplaying-")), qPrintable(artUrl));
        QCOMPARE(QImage(artFile).pixel(0, 0), QColor(Qt::darkCyan).rgb());

        // Volume: the owner's level, with the output's perceived volume and the setting.
        QTRY_COMPARE(playerctl({QStringLiteral("volume")}), QStringLiteral("0.750000"));
        playerctl({QStringLiteral("volume"), QStringLiteral("0.5")});
        QTRY_COMPARE(rig.volume.value(), 0.5);
        QCOMPARE(rig.settings.value(QStringLiteral("volume")).toDouble(), 0.5);
        QCOMPARE(std::cbrt(rig.audioOutput.volume()), 0.5f);
        QCOMPARE(watcher.waitForChange(QStringLiteral("Volume")), QStringList{QStringLiteral("Volume")});

        // A rate of 0 pauses; the rate stays 1.
        QVERIFY(rig.context->transportState().isPlaying());
        watcher.call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                     {playerInterface, QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(0.0))});
        QTRY_COMPARE(rig.context->transportState().kind(), TransportState::Kind::paused);
        QCOMPARE(watcher.property(playerInterface, QStringLiteral("Rate")).toDouble(), 1.0);

        // Nothing ever announced the position as a changed property.
        QVERIFY(!watcher.changes.isEmpty());
        for (const QVariantMap& change : watcher.changes)
            QVERIFY(!change.contains(QStringLiteral("Position")));

        // The artwork goes with the bridge.
        rig.bridge.reset();
        QVERIFY(!QFileInfo::exists(artFile));
    }

    void aSeekWhilePausedIsPublishedAtOnce()
    {
        BusWatcher watcher;
        BridgeRig rig;
        QVERIFY(rig.startPlaying(0));
        QCOMPARE(rig.run(PlaybackCommand::pause()), QString());
        QCOMPARE(watcher.waitForChange(QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")).isEmpty(), false);

        // From playerctl, then from the window's scrubber: each seek is sent
        // once, with its target, and the position reads it at once.
        playerctl({QStringLiteral("position"), QStringLiteral("5")});
        QTRY_COMPARE(watcher.seeks, QList<qlonglong>{5'000'000});
        QCOMPARE(rig.context->clock()->position(), 5.0);
        QCOMPARE(watcher.property(playerInterface, QStringLiteral("Position")).toLongLong(), 5'000'000);
        QCOMPARE(rig.run(PlaybackCommand::seek(7.0)), QString());
        QTRY_COMPARE(watcher.seeks, (QList<qlonglong>{5'000'000, 7'000'000}));
        QCOMPARE(watcher.property(playerInterface, QStringLiteral("Position")).toLongLong(), 7'000'000);

        // As the device does, the output reads 0 until it has played from
        // there; playing on sends no further Seeked. The Paused change comes
        // after any Seeked of the time before it.
        rig.output.setCurrentTime(0.0);
        watcher.changes.clear();
        playerctl({QStringLiteral("play")});
        QCOMPARE(watcher.waitForChange(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")).isEmpty(), false);
        rig.output.setCurrentTime(7.25);
        QTRY_COMPARE(watcher.property(playerInterface, QStringLiteral("Position")).toLongLong(), 7'250'000);
        playerctl({QStringLiteral("pause")});
        QCOMPARE(watcher.waitForChange(QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")).isEmpty(), false);
        QCOMPARE(watcher.seeks, (QList<qlonglong>{5'000'000, 7'000'000}));
    }

    // A track that cannot be played leaves playback stopped: a pause and a
    // play from the desktop after its failure try it again and never publish
    // Paused or Playing.
    void aFailedPlayStaysStoppedThroughPauseAndPlay()
    {
        BusWatcher watcher;
        BridgeRig rig;
        rig.source->addFailingTrack(rig.tracks[0], QStringLiteral("No such file"));
        rig.context->loadQueue(rig.tracks, 0);
        int failures = 0;
        for (const QString command : {"play", "pause", "play"}) {
            playerctl({command});
            failures += command == u"play";
            QTRY_COMPARE(rig.lines().count(QStringLiteral("execute: ") + command), command == u"play" ? failures : 1);
            QTRY_COMPARE(rig.lines().count(QStringLiteral("Track not found: Track 0 - Artist")), failures);
            QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
        }
        QCOMPARE(rig.lastError(), QStringLiteral("No such file"));
        QCOMPARE(watcher.property(playerInterface, QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Stopped"));
        for (const QVariantMap& change : watcher.changes)
            QVERIFY(!change.contains(QStringLiteral("PlaybackStatus")));
    }

    void rootInterface()
    {
        BusWatcher watcher;
        BridgeRig rig;
        int raised = 0;
        rig.bridge->setRaiseHandler([&] { ++raised; });
        const QString root = QStringLiteral("org.mpris.MediaPlayer2");
        QCOMPARE(watcher.property(root, QStringLiteral("Identity")).toString(), QStringLiteral("Vessa"));
        QCOMPARE(watcher.property(root, QStringLiteral("DesktopEntry")).toString(), QStringLiteral("vessa"));
        QCOMPARE(watcher.property(root, QStringLiteral("CanRaise")).toBool(), true);
        QCOMPARE(watcher.property(root, QStringLiteral("CanQuit")).toBool(), false);
        QCOMPARE(watcher.property(root, QStringLiteral("HasTrackList")).toBool(), false);
        QCOMPARE(watcher.call(root, QStringLiteral("Raise")).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(raised, 1);

        QCOMPARE(watcher.property(playerInterface, QStringLiteral("Rate")).toDouble(), 1.0);
        QCOMPARE(watcher.property(playerInterface, QStringLiteral("CanControl")).toBool(), true);
        QCOMPARE(watcher.property(playerInterface, QStringLiteral("CanPlay")).toBool(), false); // nothing queued
        const QDBusMessage open =
            watcher.call(playerInterface, QStringLiteral("OpenUri"), {QStringLiteral("file:///music/a.mp3")});
        QCOMPARE(open.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(open.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
    }

    void secondInstanceTakesItsOwnName()
    {
        BusWatcher other; // another instance holds the name
        QVERIFY(other.bus.registerService(service));
        const QString instance =
            service + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
        {
            BridgeRig rig;
            QCOMPARE(rig.bridge->busName(), instance);
            QCOMPARE(playerctl({QStringLiteral("--player=vessa.instance")
                                    + QString::number(QCoreApplication::applicationPid()),
                                QStringLiteral("status")}),
                     QStringLiteral("Stopped"));
        }
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(instance));
    }
};

QTEST_GUILESS_MAIN(NowPlayingBridgeTest)
#include "tst_nowplayingbridge.moc"
