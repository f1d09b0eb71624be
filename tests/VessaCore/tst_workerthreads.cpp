#include "VessaCore/WorkerThreads.h"
#include "tests/support/BusyGlobalPool.h"

#include <QFileInfo>
#include <QSemaphore>
#include <QtTest>

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <latch>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

using namespace vessa;

namespace {

// Runs `work` and waits for it at most half a minute; a run that hangs ends
// the test program, as nothing could stop it.
void finishesInTime(const std::function<void()>& work)
{
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    std::thread([work, finished] {
        try {
            work();
            finished->set_value();
        } catch (...) {
            finished->set_exception(std::current_exception());
        }
    }).detach();
    if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
        qFatal("The work still waits after 30 seconds");
    done.get();
}

// Waits on `stop` until it is requested, at most ten seconds.
bool waitForStop(std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    return never.wait_for(lock, stop, std::chrono::seconds(10), [] { return false; }) || stop.stop_requested();
}

} // namespace

class WorkerThreadsTest : public QObject {
    Q_OBJECT

private slots:
    // The pieces all run at once (each waits for every other), while Qt's
    // own pool is busy for long, on threads that are still there afterwards.
    void piecesRunSideBySideOnLastingThreads()
    {
        test::BusyGlobalPool busy;
        constexpr int count = 6;
        std::latch together(count);
        std::mutex mutex;
        std::set<pid_t> threads;
        pid_t caller = 0;
        std::vector<WorkerThreads::Piece> pieces(count, [&](std::stop_token) {
            together.arrive_and_wait();
            std::lock_guard lock(mutex);
            threads.insert(gettid());
        });
        finishesInTime([&] {
            caller = gettid();
            WorkerThreads::run(std::move(pieces));
        });
        QVERIFY(!busy.release());
        QCOMPARE(threads.size(), std::size_t(count));
        threads.erase(caller);
        QVERIFY(threads.size() >= count - 1);
        for (const pid_t thread : threads)
            QVERIFY(QFileInfo::exists(QStringLiteral("/proc/self/task/%1").arg(thread)));
    }

    // More pieces than threads, each of which splits its work again: every
    // call goes on with the threads it gets, and no piece is run twice.
    void piecesSplitAgainNeverWaitForAThread()
    {
        std::atomic<int> inner{0};
        std::atomic<int> outer{0};
        std::vector<WorkerThreads::Piece> pieces(WorkerThreads::threadCount * 3, [&](std::stop_token) {
            std::vector<WorkerThreads::Piece> parts(5, [&](std::stop_token) { ++inner; });
            WorkerThreads::run(std::move(parts), [&](std::stop_token) { ++outer; });
        });
        finishesInTime([&] { WorkerThreads::run(std::move(pieces)); });
        QCOMPARE(outer.load(), WorkerThreads::threadCount * 3);
        QCOMPARE(inner.load(), WorkerThreads::threadCount * 3 * 5);
    }

    // A failure, or a stop from outside, stops the pieces running and starts
    // no other; the call returns once every piece started has ended, with
    // the first failure.
    void firstFailureOnceEveryPieceEnded_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("a piece fails") << "piece";
        QTest::newRow("the caller's own part fails") << "meanwhile";
        QTest::newRow("stopped from outside") << "stop";
    }
    void firstFailureOnceEveryPieceEnded()
    {
        QFETCH(QString, how);
        std::stop_source outside;
        QSemaphore running;
        std::atomic<int> started{0};
        std::atomic<int> ended{0};
        // More than there are threads: some wait for one.
        constexpr int waiting = WorkerThreads::threadCount * 2;
        std::vector<WorkerThreads::Piece> pieces(waiting, [&](std::stop_token stop) {
            ++started;
            running.release();
            const bool stopped = waitForStop(stop);
            ++ended;
            throw std::runtime_error(stopped ? "stopped" : "never stopped");
        });
        if (how == "piece") {
            pieces.insert(pieces.begin(), [&](std::stop_token) {
                running.tryAcquire(2, 10'000);
                throw std::runtime_error("first");
            });
        }
        bool stoppedMeanwhile = false;
        const WorkerThreads::Piece meanwhile = [&](std::stop_token stop) {
            if (how != "piece")
                running.tryAcquire(2, 10'000);
            if (how == "meanwhile")
                throw std::runtime_error("first");
            if (how == "stop")
                outside.request_stop();
            stoppedMeanwhile = waitForStop(stop);
        };
        QString failure;
        finishesInTime([&] {
            try {
                WorkerThreads::run(std::move(pieces), meanwhile, outside.get_token());
            } catch (const std::runtime_error& error) {
                failure = QString::fromUtf8(error.what());
            }
        });
        QCOMPARE(failure, how == "stop" ? QStringLiteral("stopped") : QStringLiteral("first"));
        QVERIFY(stoppedMeanwhile || how == "meanwhile");
        QCOMPARE(ended.load(), started.load());
        QVERIFY(started.load() >= 2 && started.load() < waiting);
    }
};

QTEST_GUILESS_MAIN(WorkerThreadsTest)
#include "tst_workerthreads.moc"
