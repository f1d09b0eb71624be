#include "Oblin/PlayContext.h"
#include "Vessa/App/NowPlaying/SavedPlaybackState.h"
#include "Vessa/App/System/QuitSignalHandler.h"
#include "tests/VessaApp/AppStateRig.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
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

// The program a quit-signal test runs as a child, which signals itself: its
// main thread is stuck at once ("stuck"), stuck once it has read the signal
// and is signalled again ("stuck quitting"), or busy for longer than a signal
// may wait once it has read it ("slow quit"); or an alarm comes while no
// signal waits to be read ("late alarm").
int runQuitSignalChild(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QByteArray how = argv[2];
    QuitSignalHandler handler;
    raise(how == "late alarm" ? SIGALRM : SIGTERM);
    if (how != "stuck" && how != "late alarm")
        application.exec();
    if (how == "stuck quitting")
        raise(SIGTERM);
    while (how.startsWith("stuck"))
        pause();
    // Sleeps through signals' interruptions.
    timespec left{how == "slow quit" ? QuitSignalHandler::unservedQuitSeconds + 2 : 0, 0};
    while (nanosleep(&left, &left) != 0) {
    }
    return 0;
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
        QTest::addColumn<bool>("endsBySignal"); // else exits normally
        QTest::newRow("main thread stuck") << "stuck" << true;
        QTest::newRow("stuck while quitting, signalled again") << "stuck quitting" << true;
        QTest::newRow("a long orderly quit") << "slow quit" << false;
        QTest::newRow("an alarm while no signal waits") << "late alarm" << false;
    }
    // A quit signal the main thread does not read within a few seconds ends
    // the process as if it had not been handled; one it has read gives the
    // quit all the time it takes.
    void unservedSignalEndsTheProcess()
    {
        QFETCH(QString, how);
        QFETCH(bool, endsBySignal);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(quitChildArgument), how});
        QVERIFY(child.waitForFinished(int(QuitSignalHandler::unservedQuitSeconds) * 1000 + 20000));
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
