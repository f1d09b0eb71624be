#include "Vessa/App/SleepWatcher.h"

#include <QDBusMessage>
#include <QSignalSpy>
#include <QtTest>

using namespace vessa;

// Runs on a session bus of its own, which stands in for the system bus: a
// second connection takes logind's name and sends its signal.
class SleepWatcherTest : public QObject {
    Q_OBJECT

private slots:
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
        QDBusMessage message =
            QDBusMessage::createSignal(QLatin1String(SleepWatcher::path), QLatin1String(SleepWatcher::interface),
                                       QStringLiteral("PrepareForSleep"));
        message << true;
        QVERIFY(other.send(message));

        QDBusMessage real =
            QDBusMessage::createSignal(QLatin1String(SleepWatcher::path), QLatin1String(SleepWatcher::interface),
                                       QStringLiteral("PrepareForSleep"));
        real << starting;
        QVERIFY(logind.send(real));
        QTRY_COMPARE(sleeping.size(), notices);
        QVERIFY(!QTest::qWaitFor([&] { return sleeping.size() > notices; }, 300));

        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        logind.unregisterService(QLatin1String(SleepWatcher::service));
        QDBusConnection::disconnectFromBus(QStringLiteral("logind stand-in"));
    }
};

QTEST_GUILESS_MAIN(SleepWatcherTest)
#include "tst_sleepwatcher.moc"
