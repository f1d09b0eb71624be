#include "VessaCore/FreedMemory.h"
#include "VessaCore/ListSizes.h"
#include "VessaCore/WorkerThreads.h"
#include "tests/support/BusyGlobalPool.h"
#include "tests/support/RefusedThreads.h"

#include <QFileInfo>
#include <QtTest>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <latch>
#include <stdexcept>
#include <system_error>
#include <thread>

using namespace vessa;
using Pieces = std::vector<WorkerThreads::Piece>;

namespace {

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
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        test::RefusedThreads refused;
        // With no thread in the pool.
        std::atomic<bool> handedOff{false};
        try {
            FreedMemory::releaseAfter(ListSizes::largeList);
            WorkerThreads::start([&handedOff] { handedOff = true; });
        } catch (const std::exception& error) {
            QFAIL(error.what());
        }
        std::latch noneBusy(1);
        QVERIFY(everyPieceRunsInTheCall(12, noneBusy));
        // Once threads may start, what was handed off runs.
        refused.lift();
        std::latch together(3), busy(1), held(2);
        const auto meet = [&together](std::stop_token) { together.arrive_and_wait(); };
        WorkerThreads::run(Pieces(2, meet), meet);
        QTRY_VERIFY_WITH_TIMEOUT(handedOff, 10'000);
        // With two busy ones.
        for (int i = 0; i < 2; ++i) {
            WorkerThreads::start([&held, &busy] {
                held.count_down();
                busy.wait();
            });
        }
        held.wait();
        refused.impose();
        QVERIFY(everyPieceRunsInTheCall(WorkerThreads::threadCount * 2, busy));
    }
};

QTEST_GUILESS_MAIN(WorkerThreadsTest)

#include "tst_workerthreads.moc"
