#include "Oblin/PlayContext.h"
#include "Vessa/App/NowPlaying/SavedPlaybackState.h"
#include "Vessa/App/System/QuitSignalHandler.h"
#include "tests/VessaApp/AppStateRig.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <sys/types.h>
#include <unistd.h>

using namespace vessa;
using namespace vessa::test;

namespace {

const char* const childArgument = "--run-app-state";
const char* const quitChildArgument = "--quit-signal-child";

// The program a quit test runs as a child: an app state over the settings
// file given, with repeat "all" and shuffle on, until it is told to quit.
int runAppState(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QString settingsFile = QString::fromLocal8Bit(argv[2]);
    AppState::Creation creation = AppState::create(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat));
    if (!creation.appState) {
        std::fprintf(stderr, "%s\n", qPrintable(creation.error));
        return 2;
    }
    creation.appState->playContext().setRepeatMode(RepeatMode::all);
    creation.appState->playContext().setShuffleEnabled(true);
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}

// The program a quit-signal test runs as a child: a handler, then a main
// thread that "stuck" blocks at once, "stuck quitting" blocks once it has
// read the signal, "slow quit" keeps busy for longer than a signal may wait
// once it has read it, and "late alarm" quits by itself.
int runQuitSignalChild(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QByteArray how = argv[2];
    QuitSignalHandler handler;
    std::printf("ready\n");
    std::fflush(stdout);
    if (how == "stuck") {
        for (;;)
            pause();
    }
    if (how == "late alarm") {
        // An alarm that comes once the signal was read, as when the read
        // disarms it a moment too late.
        QTimer::singleShot(0, [] { raise(SIGALRM); });
        QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
    }
    const int code = application.exec();
    std::printf("quitting\n");
    std::fflush(stdout);
    if (how == "stuck quitting") {
        for (;;)
            pause();
    }
    // Sleeps through signals' interruptions.
    timespec left{how == "slow quit" ? QuitSignalHandler::unservedQuitSeconds + 2 : 0, 0};
    while (nanosleep(&left, &left) != 0) {
    }
    return code;
}

} // namespace

class AppStateQuitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    void signalsAskToQuit_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void signalsAskToQuit()
    {
        QFETCH(int, signalNumber);
        QuitSignalHandler handler;
        QSignalSpy requests(&handler, &QuitSignalHandler::quitRequested);
        QCOMPARE(raise(signalNumber), 0);
        QVERIFY(requests.wait(5000));
        QCOMPARE(requests.first().first().toInt(), signalNumber);
    }

    void onlyTheFirstOfTwoHandlersActs()
    {
        QuitSignalHandler first;
        QSignalSpy firstRequests(&first, &QuitSignalHandler::quitRequested);
        {
            QuitSignalHandler second;
            QSignalSpy secondRequests(&second, &QuitSignalHandler::quitRequested);
            QCOMPARE(raise(SIGHUP), 0);
            QVERIFY(firstRequests.wait(5000));
            QVERIFY(secondRequests.isEmpty());
        }
        QCOMPARE(raise(SIGHUP), 0); // still handled once the second is gone
        QVERIFY(firstRequests.wait(5000));
    }

    void unservedSignalEndsTheProcess_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signalsSent");   // the second once the child quits
        QTest::addColumn<bool>("endsBySignal"); // else exits normally
        QTest::newRow("main thread stuck") << "stuck" << 1 << true;
        QTest::newRow("stuck while quitting, signalled again") << "stuck quitting" << 2 << true;
        QTest::newRow("a long orderly quit") << "slow quit" << 1 << false;
        QTest::newRow("an alarm late after the signal was read") << "late alarm" << 0 << false;
    }
    // A quit signal the main thread does not read within a few seconds ends
    // the process as if it had not been handled; one it has read gives the
    // quit all the time it takes.
    void unservedSignalEndsTheProcess()
    {
        QFETCH(QString, how);
        QFETCH(int, signalsSent);
        QFETCH(bool, endsBySignal);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(quitChildArgument), how});
        QVERIFY(child.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([&] { return child.canReadLine() || child.state() != QProcess::Running; }, 20000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("ready"));
        if (signalsSent > 0)
            QCOMPARE(kill(pid_t(child.processId()), SIGTERM), 0);
        if (signalsSent > 1) {
            QVERIFY(QTest::qWaitFor([&] { return child.canReadLine() || child.state() != QProcess::Running; }, 20000));
            QCOMPARE(child.readLine().trimmed(), QByteArray("quitting"));
            QCOMPARE(kill(pid_t(child.processId()), SIGTERM), 0);
        }
        const int bound = int(QuitSignalHandler::unservedQuitSeconds) * 1000 + 10000;
        QVERIFY(child.state() == QProcess::NotRunning || child.waitForFinished(bound));
        QCOMPARE(child.exitStatus(), endsBySignal ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(child.exitCode(), endsBySignal ? SIGTERM : 0);
    }

    void sigtermSavesThePlaybackState()
    {
        AppStateRig rig;
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), rig.home.path());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(childArgument), rig.settingsFile()});
        QVERIFY(child.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([&] { return child.canReadLine() || child.state() != QProcess::Running; }, 20000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("ready"));
        QCOMPARE(kill(pid_t(child.processId()), SIGTERM), 0);
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        SavedPlaybackState expected;
        expected.shuffleEnabled = true;
        expected.repeatMode = RepeatMode::all;
        QCOMPARE(SavedPlaybackState::load(*rig.settings()), std::optional<SavedPlaybackState>(expected));
    }
};

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], childArgument) == 0)
        return runAppState(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], quitChildArgument) == 0)
        return runQuitSignalChild(argc, argv);
    QCoreApplication application(argc, argv);
    AppStateQuitTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appstatequit.moc"
