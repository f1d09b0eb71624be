#include "VessaCore/FreedMemory.h"
#include "VessaCore/ListSizes.h"
#include "VessaCore/WorkerThreads.h"
#include "tests/support/BusyGlobalPool.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <latch>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

using namespace vessa;
using Pieces = std::vector<WorkerThreads::Piece>;

namespace {

const char* const childArgument = "--threads-refused";

// Lets no further thread start in this process, or lets them again: through
// the pids.max of the cgroup `cgroup`, which binds root too, or for "-"
// through the process limit, which binds everyone but root.
void refuseThreads(const std::string& cgroup, bool refuse)
{
    static rlimit processes{};
    if (cgroup != "-") {
        std::string current;
        std::ifstream(cgroup + "/pids.current") >> current;
        std::ofstream(cgroup + "/pids.max") << (refuse ? current : "max") << std::flush;
    } else if (refuse) {
        getrlimit(RLIMIT_NPROC, &processes);
        const rlimit none{1, processes.rlim_max};
        setrlimit(RLIMIT_NPROC, &none);
    } else {
        setrlimit(RLIMIT_NPROC, &processes);
    }
}

// Runs `count` pieces while no thread may start, the caller's own part
// first letting `busy` threads go, then waiting for the pieces as a scan's
// writer waits for its readers. Whether it saw them all, and the call threw
// nothing.
bool everyPieceRunsInTheCall(int count, std::latch& busy)
{
    std::atomic<int> ran{0};
    bool sawAll = false;
    try {
        WorkerThreads::run(Pieces(count, [&](std::stop_token) { ++ran; }), [&](std::stop_token) {
            busy.count_down();
            for (int i = 0; i < 1000 && ran < count; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            sawAll = ran == count;
        });
    } catch (const std::exception& error) {
        std::printf("run() threw: %s\n", error.what());
        std::_Exit(1); // its pieces still refer to this frame
    }
    return sawAll;
}

// The child process: with no thread in the pool, then with two busy ones.
int runWithThreadsRefused(const std::string& cgroup)
{
    if (cgroup != "-")
        std::ofstream(cgroup + "/cgroup.procs") << getpid() << std::flush;
    refuseThreads(cgroup, true);
    try {
        std::thread([] {}).join();
        std::printf("the limit is not in force here\n");
        return 77;
    } catch (const std::system_error&) {
    }
    std::atomic<bool> handedOff{false};
    try {
        FreedMemory::releaseAfter(ListSizes::largeList);
        WorkerThreads::start([&handedOff] { handedOff = true; });
    } catch (const std::exception& error) {
        std::printf("handing off threw: %s\n", error.what());
        return 1;
    }
    std::latch noneBusy(1);
    const bool withoutThreads = everyPieceRunsInTheCall(12, noneBusy);
    // Once threads may start, what was handed off runs.
    refuseThreads(cgroup, false);
    std::latch together(3), busy(1), held(2);
    const auto meet = [&together](std::stop_token) { together.arrive_and_wait(); };
    WorkerThreads::run(Pieces(2, meet), meet);
    for (int i = 0; i < 1000 && !handedOff; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int i = 0; i < 2; ++i) {
        WorkerThreads::start([&held, &busy] {
            held.count_down();
            busy.wait();
        });
    }
    held.wait();
    refuseThreads(cgroup, true);
    const bool withTwo = everyPieceRunsInTheCall(WorkerThreads::threadCount * 2, busy);
    refuseThreads(cgroup, false); // the sanitizers' checks at exit start a thread
    std::printf("without threads %d, handed off %d, with two %d\n", withoutThreads, handedOff.load(), withTwo);
    return withoutThreads && handedOff && withTwo ? 0 : 1;
}

} // namespace

class WorkerThreadsTest : public QObject {
    Q_OBJECT

private slots:
    // All run at once while Qt's pool is busy, on threads that outlive the call.
    void piecesRunSideBySideOnLastingThreads()
    {
        test::BusyGlobalPool busy;
        std::latch together(6);
        QMutex mutex;
        QSet<pid_t> threads;
        WorkerThreads::run(Pieces(6, [&](std::stop_token) {
            together.arrive_and_wait();
            const QMutexLocker lock(&mutex);
            threads.insert(gettid());
        }));
        QVERIFY(!busy.release());
        QCOMPARE(threads.size(), 6);
        for (const pid_t thread : std::as_const(threads))
            QVERIFY(QFileInfo::exists(QStringLiteral("/proc/self/task/%1").arg(thread)));
    }

    void piecesSplitAgainNeverWaitForAThread()
    {
        std::atomic<int> inner{0}, outer{0};
        WorkerThreads::run(Pieces(WorkerThreads::threadCount * 3, [&](std::stop_token) {
            WorkerThreads::run(Pieces(5, [&](std::stop_token) { ++inner; }), [&](std::stop_token) { ++outer; });
        }));
        QCOMPARE(outer.load(), WorkerThreads::threadCount * 3);
        QCOMPARE(inner.load(), WorkerThreads::threadCount * 3 * 5);
    }

    void firstFailureOnceEveryPieceEnded_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("a piece fails") << "piece";
        QTest::newRow("the caller's own part fails") << "meanwhile";
        QTest::newRow("stopped from outside") << "stop";
    }
    // Running pieces stop, no other starts, and the first failure comes back.
    void firstFailureOnceEveryPieceEnded()
    {
        QFETCH(QString, how);
        std::stop_source outside;
        QSemaphore running;
        const auto waitForStop = [](std::stop_token stop) {
            for (int i = 0; i < 10'000 && !stop.stop_requested(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return stop.stop_requested();
        };
        std::atomic<int> started{0}, ended{0};
        constexpr int count = WorkerThreads::threadCount * 2; // some wait for a thread
        Pieces pieces(count, [&](std::stop_token stop) {
            ++started;
            running.release();
            const bool stopped = waitForStop(stop);
            ++ended;
            throw std::runtime_error(stopped ? "stopped" : "never stopped");
        });
        const auto failOrStop = [&](const QString& where) { // once two pieces run
            if (how == where || how == "stop")
                running.tryAcquire(2, 10'000);
            if (how == where)
                throw std::runtime_error("first");
            if (how == "stop")
                outside.request_stop();
        };
        if (how == "piece")
            pieces.insert(pieces.begin(), [&](std::stop_token) { failOrStop("piece"); });
        bool stoppedMeanwhile = false;
        const WorkerThreads::Piece meanwhile = [&](std::stop_token stop) {
            failOrStop("meanwhile");
            stoppedMeanwhile = waitForStop(stop);
        };
        QString failure;
        try {
            WorkerThreads::run(std::move(pieces), meanwhile, outside.get_token());
        } catch (const std::runtime_error& error) {
            failure = QString::fromUtf8(error.what());
        }
        QCOMPARE(failure, how == "stop" ? QStringLiteral("stopped") : QStringLiteral("first"));
        QVERIFY(stoppedMeanwhile || how == "meanwhile");
        QCOMPARE(ended.load(), started.load());
        QVERIFY(started.load() >= 2 && started.load() < count);
    }

    // In a process that may start no further thread (as under a limit on
    // processes, or a cgroup's pids.max), the pieces no thread takes are the
    // caller's, and work handed off waits for a thread.
    void threadsRefused()
    {
        // A pids cgroup of the child's own where one can be made here.
        QString cgroup = QStringLiteral("-");
        for (const char* const base : {"/sys/fs/cgroup/pids", "/sys/fs/cgroup"}) {
            const QString folder =
                QStringLiteral("%1/vessa-tst-workerthreads-%2").arg(QLatin1String(base)).arg(getpid());
            if (!QDir().mkdir(folder))
                continue;
            if (QFile::exists(folder + QStringLiteral("/pids.max"))) {
                cgroup = folder;
                break;
            }
            QDir().rmdir(folder);
        }
        const auto removeCgroup = qScopeGuard([&] { QDir().rmdir(cgroup); });
        if (cgroup == QStringLiteral("-") && geteuid() == 0)
            QSKIP("root, whom the process limit does not bind, and no cgroup to limit the threads");
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(childArgument), cgroup});
        QVERIFY(child.waitForFinished(60'000));
        const QByteArray output = child.readAll();
        if (child.exitCode() == 77)
            QSKIP(output.constData());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
    }
};

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], childArgument) == 0)
        return runWithThreadsRefused(argv[2]);
    QCoreApplication application(argc, argv);
    WorkerThreadsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_workerthreads.moc"
