#include "Vessa/App/System/SingleInstance.h"
#include "tests/support/FileFixture.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

using namespace vessa;

namespace {

// Forwards `paths` and tells whether the listener took them. forward()
// blocks until the listener answers, so it runs on a thread of its own while
// the test's event loop serves the listener.
bool forwarded(const QString& serverName, const QStringList& paths)
{
    std::future<bool> result =
        std::async(std::launch::async, [serverName, paths] { return SingleInstance::forward(serverName, paths); });
    return QTest::qWaitFor([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000)
           && result.get();
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_runtime;
    QString serverName() const { return m_runtime.filePath("vessa-instance"); }

private slots:
    void cleanup() { QFile::remove(serverName()); }

    void withoutARunningProgramNothingIsForwarded()
    {
        QVERIFY(!SingleInstance::forward(serverName(), {"/music/a.parvik"}, std::chrono::milliseconds(500)));
    }

    void pathsReachTheRunningProgram_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("leftOverSocketFile"); // of a program that died
        QTest::newRow("one file") << QStringList{"/music/a.parvik"} << false;
        QTest::newRow("several, unusual names")
            << QStringList{"/music/Road Trip.M3U8", "/music/\u00e9t\u00e9 \"live\".parvik", "/tmp/new\nline.m3u"}
            << false;
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("a left-over socket file is replaced") << QStringList{"/x.parvik"} << true;
    }

    void pathsReachTheRunningProgram()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, leftOverSocketFile);
        if (leftOverSocketFile)
            test::writeFile(serverName(), {});
        SingleInstance instance(serverName());
        QVERIFY(instance.listen());
        QSignalSpy received(&instance, &SingleInstance::pathsReceived);

        QVERIFY(forwarded(serverName(), paths));
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.constFirst().constFirst().toStringList(), paths);
    }

    void aSecondListenerLeavesTheFirstAlone()
    {
        SingleInstance first(serverName());
        QVERIFY(first.listen());
        SingleInstance second(serverName());
        QVERIFY(!second.listen());
        QVERIFY(first.isListening());

        QSignalSpy received(&first, &SingleInstance::pathsReceived);
        QVERIFY(forwarded(serverName(), {"/x.parvik"}));
        QCOMPARE(received.size(), 1);
    }

    void malformedMessagesAreDropped_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("not json") << QByteArray("hello\n");
        QTest::newRow("not an array") << QByteArray("{\"a\":1}\n");
        QTest::newRow("truncated") << QByteArray("[\"/a.parvik\"\n");
    }

    void malformedMessagesAreDropped()
    {
        QFETCH(QByteArray, message);
        SingleInstance instance(serverName());
        QVERIFY(instance.listen());
        QSignalSpy received(&instance, &SingleInstance::pathsReceived);

        QLocalSocket socket;
        socket.connectToServer(serverName());
        QVERIFY(socket.waitForConnected(5000));
        socket.write(message);
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, 10000);
        QCOMPARE(received.size(), 0);

        // The listener keeps serving.
        QVERIFY(forwarded(serverName(), {"/x.parvik"}));
    }

    // The program itself: a second start hands its file, made absolute, to
    // the program listening in the user's runtime folder, and ends.
    void aSecondStartOfTheProgramForwardsItsFile()
    {
        SingleInstance instance(serverName());
        QVERIFY(instance.listen());
        QSignalSpy received(&instance, &SingleInstance::pathsReceived);

        QTemporaryDir work;
        QProcess vessa;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        environment.insert("HOME", work.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        vessa.setProcessEnvironment(environment);
        vessa.setWorkingDirectory(work.path());
        vessa.start(VESSA_EXECUTABLE, {"mix.parvik"});
        QVERIFY(vessa.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 20000);
        QCOMPARE(received.constFirst().constFirst().toStringList(), QStringList{work.filePath("mix.parvik")});
        QTRY_COMPARE_WITH_TIMEOUT(vessa.state(), QProcess::NotRunning, 20000);
        QCOMPARE(vessa.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vessa.exitCode(), 0);
        // It built nothing of its own.
        QVERIFY(!QFile::exists(work.filePath(".local/share/Tornwick/media.db")));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
