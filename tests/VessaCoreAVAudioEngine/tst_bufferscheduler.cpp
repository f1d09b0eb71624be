#include "VessaCore/Error.h"
#include "VessaCoreAVAudioEngine/BufferScheduler.h"

#include <QtTest>

#include <future>

using namespace vessa;

namespace {

constexpr int waitMs = 20000;
enum Wake { release, reset, stopToken }; // what ends a wait

// Calls acquireSlot on another thread; returns once the caller stands in line.
std::future<qint64> queueCaller(BufferScheduler& scheduler, std::stop_token stop = {})
{
    const qsizetype waiting = scheduler.waitingCount();
    auto call = std::async(std::launch::async, [&scheduler, stop] { return scheduler.acquireSlot(stop); });
    if (!QTest::qWaitFor([&] { return scheduler.waitingCount() == waiting + 1; }, waitMs))
        qFatal("the caller never stood in line");
    return call;
}

template <typename T>
bool isDone(const std::future<T>& call)
{
    return call.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

BufferScheduler& fill(BufferScheduler& scheduler)
{
    for (int i = 0; i < BufferScheduler::maxAhead; ++i)
        scheduler.acquireSlot({});
    return scheduler;
}

} // namespace

class BufferSchedulerTest : public QObject {
    Q_OBJECT

private slots:
    void waitersResumeInOrderAndResetMakesThemStale()
    {
        BufferScheduler scheduler;
        auto a = queueCaller(fill(scheduler)); // the ninth waits
        auto b = queueCaller(scheduler);
        auto c = queueCaller(scheduler);
        scheduler.releaseSlot(0); // hands the slot to the oldest waiter
        QTRY_VERIFY_WITH_TIMEOUT(isDone(a), waitMs);
        QCOMPARE(a.get(), 0);
        QCOMPARE(scheduler.pendingCount(), 8);
        QVERIFY(!isDone(b) && !isDone(c));

        QCOMPARE(scheduler.reset(), 1); // wakes everyone with the generation read before waiting
        QTRY_VERIFY_WITH_TIMEOUT(isDone(b) && isDone(c), waitMs);
        QCOMPARE(b.get(), 0);
        QCOMPARE(c.get(), 0);
        QCOMPARE(scheduler.pendingCount(), 0);

        QCOMPARE(scheduler.acquireSlot({}), 1);
        scheduler.releaseSlot(0); // stale: changes nothing
        QCOMPARE(scheduler.pendingCount(), 1);
        scheduler.releaseSlot(1);
        scheduler.releaseSlot(1); // more releases than slots never go below zero
        QCOMPARE(scheduler.pendingCount(), 0);
    }

    void stopTokenCancelsAWaiter()
    {
        BufferScheduler scheduler;
        std::stop_source stop;
        auto ninth = queueCaller(fill(scheduler), stop.get_token());
        stop.request_stop();
        QTRY_VERIFY_WITH_TIMEOUT(isDone(ninth), waitMs);
        QVERIFY_THROWS_EXCEPTION(CancellationError, ninth.get());
        QCOMPARE(scheduler.waitingCount(), 0);
        scheduler.releaseSlot(0); // the cancelled caller got no slot
        QCOMPARE(scheduler.pendingCount(), 7);
    }

    void drainWait_data()
    {
        QTest::addColumn<int>("wake");
        QTest::newRow("last release") << int(release);
        QTest::newRow("reset") << int(reset);
        QTest::newRow("stop token") << int(stopToken);
    }

    void drainWait()
    {
        QFETCH(int, wake);
        BufferScheduler scheduler;
        scheduler.waitUntilDrained({}); // nothing outstanding: returns at once
        scheduler.acquireSlot({});
        scheduler.acquireSlot({});
        std::stop_source stop;
        auto drain = std::async(std::launch::async, [&] { scheduler.waitUntilDrained(stop.get_token()); });
        scheduler.releaseSlot(0);
        QVERIFY(!isDone(drain));
        if (wake == release)
            scheduler.releaseSlot(0);
        else if (wake == reset)
            scheduler.reset();
        else
            stop.request_stop();
        QTRY_VERIFY_WITH_TIMEOUT(isDone(drain), waitMs);
    }
};

QTEST_GUILESS_MAIN(BufferSchedulerTest)
#include "tst_bufferscheduler.moc"
