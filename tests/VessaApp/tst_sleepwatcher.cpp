#include "Oblin/PlayContext.h"
#include "Vessa/App/System/SleepWatcher.h"
#include "tests/VessaApp/AppStateRig.h"

#include <QDBusMessage>
#include <QSignalSpy>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;

namespace {

// Sends PrepareForSleep(starting) as logind does, from `sender`.
bool announceSleep(QDBusConnection& sender, bool starting)
{
    QDBusMessage message = QDBusMessage::createSignal(
        QLatin1String(SleepWatcher::path), QLatin1String(SleepWatcher::interface), QStringLiteral("PrepareForSleep"));
    message << starting;
    return sender.send(message);
}

} // namespace

// Runs on a session bus of its own, which stands in for the system bus: a
// second connection takes logind's name and sends its signal.
class SleepWatcherTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The app state listens on the "system" bus, which is this session
        // bus here; set before the first use of any bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    }

    void withoutABusNothingHappens()
    {
        const QDBusConnection absent(QStringLiteral("no such connection"));
        QVERIFY(!absent.isConnected());
        SleepWatcher watcher(absent);
        QVERIFY(!watcher.isListening());
    }

    void prepareForSleep_data()
    {
        QTest::addColumn<bool>("starting");
        QTest::addColumn<int>("notices");
        QTest::newRow("going to sleep") << true << 1;
        QTest::newRow("waking up") << false << 0;
    }
    void prepareForSleep()
    {
        QFETCH(bool, starting);
        QFETCH(int, notices);
        QDBusConnection logind =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("logind stand-in"));
        QVERIFY(logind.isConnected());
        QVERIFY(logind.registerService(QLatin1String(SleepWatcher::service)));
        SleepWatcher watcher(QDBusConnection::sessionBus());
        QVERIFY(watcher.isListening());
        QSignalSpy sleeping(&watcher, &SleepWatcher::aboutToSleep);

        // Another sender's signal of the same name is not logind's.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        QVERIFY(announceSleep(other, true));
        QVERIFY(announceSleep(logind, starting));
        QTRY_COMPARE(sleeping.size(), notices);
        QVERIFY(!QTest::qWaitFor([&] { return sleeping.size() > notices; }, 300));

        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        logind.unregisterService(QLatin1String(SleepWatcher::service));
        QDBusConnection::disconnectFromBus(QStringLiteral("logind stand-in"));
    }

    void sleepPausesWhatPlays()
    {
        QDBusConnection logind =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("logind stand-in"));
        QVERIFY(logind.registerService(QLatin1String(SleepWatcher::service)));
        AppStateRig rig;
        QVERIFY(!rig.writeWav(QStringLiteral("a/long.wav"), 44100 * 30).isEmpty());
        std::unique_ptr<AppState> state = rig.start();
        state->addWatchedDirectory(rig.folder(QStringLiteral("a")));
        QVERIFY(AppStateRig::scanned(*state));
        PlayContext& context = state->playContext();
        context.execute(PlaybackCommand::play());
        QTRY_VERIFY_WITH_TIMEOUT(context.transportState().isPlaying(), 10000);
        const auto executed = [&] {
            return rig.log.messages(QStringLiteral("com.tornwick.oblin.playback")).filter(QStringLiteral("execute:"));
        };
        QVERIFY(announceSleep(logind, true));
        QTRY_VERIFY_WITH_TIMEOUT(!context.transportState().isPlaying(), 10000);
        QCOMPARE(executed(), (QStringList{"execute: play", "execute: pause"}));
        // Paused already: nothing is sent.
        QVERIFY(announceSleep(logind, true));
        QVERIFY(!QTest::qWaitFor([&] { return executed().size() > 2; }, 300));
        logind.unregisterService(QLatin1String(SleepWatcher::service));
        QDBusConnection::disconnectFromBus(QStringLiteral("logind stand-in"));
    }
};

QTEST_GUILESS_MAIN(SleepWatcherTest)
#include "tst_sleepwatcher.moc"
