#include "Vessa/App/Updates/Updater.h"

#include <QNetworkProxy>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace vessa;
using Outcome = UpdateCheckResult::Outcome;
using Trigger = UpdateCheckResult::Trigger;

namespace {

// A one-file web server on the loopback interface: answers every GET with
// `status` and `body`, or holds the answer back while `holding` is set.
class FeedServer : public QObject {
public:
    FeedServer()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }

    QUrl url() const { return QUrl(QString("http://127.0.0.1:%1/vessa/appcast.xml").arg(m_server.serverPort())); }

    QByteArray body;
    int status = 200;
    bool holding = false;
    int requests = 0;

    void release()
    {
        holding = false;
        for (const QPointer<QTcpSocket>& socket : std::exchange(m_held, {}))
            if (socket)
                answer(socket);
    }

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        ++requests;
        if (holding)
            m_held.append(socket);
        else
            answer(socket);
    }

    void answer(QTcpSocket* socket)
    {
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: application/rss+xml\r\n"
                      + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_requests;
    QList<QPointer<QTcpSocket>> m_held;
};

QByteArray appcast(const QStringList& versions)
{
    QByteArray items;
    for (const QString& version : versions)
        items += QString("<item><title>Vessa %1</title><description>Notes for %1</description>"
                         "<link>/vessa/%1.html</link>"
                         "<enclosure url=\"https://dl.example.org/vessa-%1.tar.gz\" app:version=\"%1\"/></item>")
                     .arg(version)
                     .toUtf8();
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:app=\"urn:example:appcast\"><channel>" + items
           + "</channel></rss>";
}

} // namespace

class UpdaterTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<FeedServer> m_server;

    // A started updater of version `current` reading the test server's feed.
    std::unique_ptr<Updater> startedUpdater(const QString& current = "1.1")
    {
        auto updater = std::make_unique<Updater>(*m_settings, current);
        updater->start();
        return updater;
    }

    // Runs one user check to its end.
    UpdateCheckResult check(Updater& updater)
    {
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        if (!finished.wait(10000))
            return {};
        return *updater.lastResult();
    }

    void setLastCheck(const QDateTime& time)
    {
        m_settings->setValue(Updater::lastCheckTimeKey, time.toString(Qt::ISODateWithMs));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The loopback server is reached directly whatever the environment says.
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }

    void init()
    {
        m_settings.reset();
        QFile::remove(m_folder.filePath("settings.ini"));
        m_settings = std::make_unique<QSettings>(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        m_server = std::make_unique<FeedServer>();
        m_settings->setValue(Updater::feedAddressKey, m_server->url().toString());
    }

    void comparesVersions_data()
    {
        QTest::addColumn<QStringList>("feed");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("newest");
        QTest::newRow("newer") << QStringList{"1.0", "1.2"} << int(Outcome::updateAvailable) << "1.2";
        QTest::newRow("same") << QStringList{"1.1.0"} << int(Outcome::upToDate) << "1.1.0";
        QTest::newRow("older") << QStringList{"1.0.9", "0.9"} << int(Outcome::upToDate) << "1.0.9";
        QTest::newRow("numeric order") << QStringList{"1.9", "1.10", "1.2"} << int(Outcome::updateAvailable) << "1.10";
        QTest::newRow("no releases") << QStringList{} << int(Outcome::upToDate) << "";
    }
    void comparesVersions()
    {
        QFETCH(QStringList, feed);
        QFETCH(int, outcome);
        QFETCH(QString, newest);
        m_server->body = appcast(feed);
        const std::unique_ptr<Updater> updater = startedUpdater("1.1");

        const UpdateCheckResult result = check(*updater);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.trigger, Trigger::user);
        QCOMPARE(result.currentVersion, "1.1");
        QVERIFY(!result.error);
        QVERIFY(updater->lastCheckTime());
        QCOMPARE(result.newest.has_value(), !newest.isEmpty());
        if (result.newest) {
            QCOMPARE(result.newest->displayVersion, newest);
            QCOMPARE(result.newest->notes, "Notes for " + newest);
            QCOMPARE(result.newest->downloadPage, m_server->url().resolved(QUrl(newest + ".html")));
        }
        QVERIFY(updater->canCheckForUpdates());
    }

    void failures_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens on the port
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        QTest::newRow("malformed") << 200 << appcast({"1.2"}).left(90)
                                   << "The update feed could not be read: Premature end of document at line 1.";
        QTest::newRow("web page") << 200 << QByteArray("<html><body>Hello</body></html>")
                                  << "The update feed could not be read: it is not an RSS feed.";
        QTest::newRow("not found") << 404 << QByteArray("gone")
                                   << "The update server could not send the update feed (HTTP status 404).";
        QTest::newRow("server error") << 500 << appcast({"1.2"})
                                      << "The update server could not send the update feed (HTTP status 500).";
        QTest::newRow("huge") << 200 << QByteArray(Updater::maximumFeedSize + 1, ' ')
                              << "The update feed is too large to be an update feed.";
        QTest::newRow("server down") << 0 << QByteArray() << "Could not reach the update server: Connection refused";
    }
    void failures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        m_server->status = status;
        m_server->body = body;
        if (status == 0)
            m_server.reset();
        const QDateTime earlier = QDateTime::currentDateTimeUtc().addDays(-3);
        setLastCheck(earlier);
        const std::unique_ptr<Updater> updater = startedUpdater();

        const UpdateCheckResult result = check(*updater);
        QCOMPARE(result.outcome, Outcome::failed);
        // Not counted as a check: the next start's automatic check tries again.
        QCOMPARE(updater->lastCheckTime(), std::optional(earlier));
        QVERIFY(result.error);
        QCOMPARE(result.error->description(), description);
        if (status == 0)
            QCOMPARE(result.error->kind(), UpdateCheckError::Kind::unreachable);
        QVERIFY(!result.newest);
        QVERIFY(updater->canCheckForUpdates());
    }

    void feedAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("description");
        QTest::newRow("not the web") << "file:///etc/passwd"
                                     << "The update feed address \"file:///etc/passwd\" is not a web address (http "
                                        "or https).";
        QTest::newRow("not an address") << "updates please"
                                        << "The update feed address \"updates please\" is not "
                                           "a web address (http or https).";
    }
    void feedAddress()
    {
        QFETCH(QString, address);
        QFETCH(QString, description);
        m_settings->setValue(Updater::feedAddressKey, address);
        const std::unique_ptr<Updater> updater = startedUpdater();
        QSignalSpy finished(updater.get(), &Updater::checkFinished);

        updater->checkForUpdates();
        QVERIFY(!updater->canCheckForUpdates()); // reported later, never inside the call
        QCOMPARE(finished.count(), 0);
        QVERIFY(finished.wait(5000));
        QCOMPARE(updater->lastResult()->error->description(), description);
        QVERIFY(updater->canCheckForUpdates());
    }

    void withoutFeed()
    {
        if (!Updater::builtInFeedAddress().isEmpty())
            QSKIP("this build names an update feed");
        m_settings->remove(Updater::feedAddressKey);
        const std::unique_ptr<Updater> updater = startedUpdater();
        QCOMPARE(check(*updater).error->description(), "No update feed is set, so Vessa cannot look for updates.");
        QVERIFY(!updater->lastCheckTime());
    }

    void cannotCheckWhileRunning()
    {
        m_server->body = appcast({"1.2"});
        m_server->holding = true;
        Updater updater(*m_settings, "1.1");
        QSignalSpy canCheck(&updater, &Updater::canCheckForUpdatesChanged);
        QSignalSpy finished(&updater, &Updater::checkFinished);

        QVERIFY(!updater.canCheckForUpdates());
        QVERIFY(updater.property("canCheckForUpdates").isValid());
        updater.checkForUpdates(); // not started: nothing happens
        updater.start();
        QCOMPARE(canCheck.count(), 1);
        QVERIFY(updater.canCheckForUpdates());

        updater.checkForUpdates();
        QCOMPARE(canCheck.count(), 2);
        QVERIFY(!updater.property("canCheckForUpdates").toBool());
        QTRY_COMPARE(m_server->requests, 1);
        updater.checkForUpdates(); // ignored while the first runs
        QVERIFY(!updater.canCheckForUpdates());

        m_server->release();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(canCheck.count(), 3);
        QVERIFY(updater.canCheckForUpdates());
        QCOMPARE(m_server->requests, 1);
    }

    void destroyedWhileChecking()
    {
        m_server->holding = true;
        auto updater = startedUpdater();
        updater->checkForUpdates();
        QTRY_COMPARE(m_server->requests, 1);
        updater.reset();
        m_server->release();
        QTest::qWait(0); // the aborted reply's events run without an updater
    }

    void automaticSetting()
    {
        {
            Updater updater(*m_settings);
            QVERIFY(!updater.automaticallyChecksForUpdates());
            QSignalSpy changed(&updater, &Updater::automaticallyChecksForUpdatesChanged);
            updater.setProperty("automaticallyChecksForUpdates", true);
            updater.setAutomaticallyChecksForUpdates(true);
            QCOMPARE(changed.count(), 1);
        }
        QCOMPARE(m_settings->value(Updater::automaticChecksKey).toBool(), true);
        QVERIFY(Updater(*m_settings).automaticallyChecksForUpdates());
    }

    void oncePerDay_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<int>("hoursAgo"); // -1: never checked
        QTest::addColumn<bool>("checks");
        QTest::newRow("off") << false << -1 << false;
        QTest::newRow("on, never checked") << true << -1 << true;
        QTest::newRow("on, an hour ago") << true << 1 << false;
        QTest::newRow("on, 23 hours ago") << true << 23 << false;
        QTest::newRow("on, 25 hours ago") << true << 25 << true;
        QTest::newRow("on, in the future") << true << -48 << true;
    }
    void oncePerDay()
    {
        QFETCH(bool, automatic);
        QFETCH(int, hoursAgo);
        QFETCH(bool, checks);
        m_server->body = appcast({"1.2"});
        m_settings->setValue(Updater::automaticChecksKey, automatic);
        if (hoursAgo != -1)
            setLastCheck(QDateTime::currentDateTimeUtc().addSecs(-3600 * hoursAgo));
        Updater updater(*m_settings, "1.1");
        QSignalSpy finished(&updater, &Updater::checkFinished);

        QVERIFY(!updater.canCheckForUpdates());
        updater.start();
        // A due check starts inside start(); otherwise none runs.
        QCOMPARE(updater.canCheckForUpdates(), !checks);
        if (!checks)
            return;
        QVERIFY(finished.wait(10000));
        QCOMPARE(updater.lastResult()->trigger, Trigger::automatic);
        QCOMPARE(updater.lastResult()->outcome, Outcome::updateAvailable);
        QCOMPARE(m_server->requests, 1);
        // The check is remembered: the next one is a day away.
        QVERIFY(updater.lastCheckTime());
        QVERIFY(qAbs(updater.lastCheckTime()->secsTo(QDateTime::currentDateTimeUtc())) < 60);
        QVERIFY(!updater.isAutomaticCheckDue());
        updater.checkAutomaticallyIfDue();
        QVERIFY(updater.canCheckForUpdates());
    }

    void userCheckCountsForTheDay()
    {
        m_server->body = appcast({"1.0"});
        setLastCheck(QDateTime::currentDateTimeUtc().addDays(-3));
        const std::unique_ptr<Updater> updater = startedUpdater(); // automatic checks are off
        check(*updater);
        QCOMPARE(m_server->requests, 1);

        QSignalSpy finished(updater.get(), &Updater::checkFinished);
        updater->setAutomaticallyChecksForUpdates(true); // not due: checked a moment ago
        QVERIFY(updater->canCheckForUpdates());

        setLastCheck(QDateTime::currentDateTimeUtc().addSecs(-25 * 3600));
        updater->setAutomaticallyChecksForUpdates(true); // due now: turning it on checks
        QVERIFY(!updater->canCheckForUpdates());
        QVERIFY(finished.wait(10000));
        QCOMPARE(updater->lastResult()->trigger, Trigger::automatic);
        QCOMPARE(updater->lastResult()->outcome, Outcome::upToDate);
        QCOMPARE(m_server->requests, 2);
    }
};

QTEST_GUILESS_MAIN(UpdaterTest)
#include "tst_updater.moc"
