#include "VessaCore/Error.h"
#include "VessaCoreAVAudioEngine/BufferScheduler.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace vessa;

namespace {

constexpr int waitMs = 20000;

// Runs acquireSlot on its own thread and records how it ended.
class SlotCaller {
public:
    SlotCaller(BufferScheduler& scheduler, std::stop_token stop = {})
        : m_thread([this, &scheduler, stop] {
            try {
                generation = scheduler.acquireSlot(stop);
            } catch (const CancellationError&) {
                cancelled = true;
            }
            done = true;
        })
    {
    }

    std::atomic<bool> done {false};
    std::atomic<bool> cancelled {false};
    std::atomic<qint64> generation {-1};

private:
    std::jthread m_thread;
};

void fill(BufferScheduler& scheduler)
{
    for (int i = 0; i < BufferScheduler::maxAhead; ++i)
        QCOMPARE(scheduler.acquireSlot({}), scheduler.generation());
}

} // namespace

class BufferSchedulerTest : public QObject {
    Q_OBJECT

private slots:
    void ninthAcquireWaits_data();
    void ninthAcquireWaits();
    void waitersAreServedOldestFirst();
    void staleReleaseChangesNothing();
    void resetWakesEveryWaiter();
    void drainWait_data();
    void drainWait();
    void stopTokenWakesSlotWaiter();
    void stopTokenWakesDrainWaiter();
};

void BufferSchedulerTest::ninthAcquireWaits_data()
{
    QTest::addColumn<bool>("byReset");
    QTest::newRow("release") << false;
    QTest::newRow("reset") << true;
}

void BufferSchedulerTest::ninthAcquireWaits()
{
    QFETCH(bool, byReset);
    BufferScheduler scheduler;
    fill(scheduler);
    QCOMPARE(scheduler.pendingCount(), 8);

    SlotCaller ninth(scheduler);
    QTRY_COMPARE_WITH_TIMEOUT(scheduler.waitingCount(), 1, waitMs);
    QVERIFY(!ninth.done);

    if (byReset)
        scheduler.reset();
    else
        scheduler.releaseSlot(0);
    QTRY_VERIFY_WITH_TIMEOUT(ninth.done, waitMs);
    QVERIFY(!ninth.cancelled);
    // Either way it returns the generation it read before waiting.
    QCOMPARE(ninth.generation.load(), 0);
    QCOMPARE(scheduler.generation(), byReset ? 1 : 0);
    // A handed-over slot stays counted; a reset forgets every slot.
    QCOMPARE(scheduler.pendingCount(), byReset ? 0 : 8);
}

void BufferSchedulerTest::waitersAreServedOldestFirst()
{
    BufferScheduler scheduler;
    fill(scheduler);
    SlotCaller first(scheduler);
    QTRY_COMPARE_WITH_TIMEOUT(scheduler.waitingCount(), 1, waitMs);
    SlotCaller second(scheduler);
    QTRY_COMPARE_WITH_TIMEOUT(scheduler.waitingCount(), 2, waitMs);

    scheduler.releaseSlot(0);
    QTRY_VERIFY_WITH_TIMEOUT(first.done, waitMs);
    QCOMPARE(scheduler.waitingCount(), 1);
    QVERIFY(!second.done);

    scheduler.releaseSlot(0);
    QTRY_VERIFY_WITH_TIMEOUT(second.done, waitMs);
    QCOMPARE(scheduler.pendingCount(), 8);
}

void BufferSchedulerTest::staleReleaseChangesNothing()
{
    BufferScheduler scheduler;
    scheduler.acquireSlot({});
    scheduler.acquireSlot({});
    QCOMPARE(scheduler.reset(), 1);
    scheduler.acquireSlot({});
    scheduler.acquireSlot({});
    scheduler.releaseSlot(0);
    QCOMPARE(scheduler.pendingCount(), 2);
    scheduler.releaseSlot(1);
    QCOMPARE(scheduler.pendingCount(), 1);
    // More releases than slots never drive the count below zero.
    scheduler.releaseSlot(1);
    scheduler.releaseSlot(1);
    QCOMPARE(scheduler.pendingCount(), 0);
    QCOMPARE(scheduler.acquireSlot({}), 1);
    QCOMPARE(scheduler.pendingCount(), 1);
}

void BufferSchedulerTest::resetWakesEveryWaiter()
{
    BufferScheduler scheduler;
    fill(scheduler);
    SlotCaller a(scheduler);
    SlotCaller b(scheduler);
    SlotCaller c(scheduler);
    QTRY_COMPARE_WITH_TIMEOUT(scheduler.waitingCount(), 3, waitMs);

    scheduler.reset();
    QTRY_VERIFY_WITH_TIMEOUT(a.done && b.done && c.done, waitMs);
    for (const SlotCaller* caller : {&a, &b, &c}) {
        QVERIFY(!caller->cancelled);
        QCOMPARE(caller->generation.load(), 0); // stale: their buffers are not counted
    }
    QCOMPARE(scheduler.pendingCount(), 0);
    QCOMPARE(scheduler.waitingCount(), 0);
}

void BufferSchedulerTest::drainWait_data()
{
    QTest::addColumn<int>("outstanding");
    QTest::addColumn<bool>("byReset");
    QTest::newRow("nothing outstanding") << 0 << false;
    QTest::newRow("last release") << 3 << false;
    QTest::newRow("reset") << 3 << true;
}

void BufferSchedulerTest::drainWait()
{
    QFETCH(int, outstanding);
    QFETCH(bool, byReset);
    BufferScheduler scheduler;
    for (int i = 0; i < outstanding; ++i)
        scheduler.acquireSlot({});

    std::atomic<bool> drained {false};
    std::jthread waiter([&] {
        scheduler.waitUntilDrained({});
        drained = true;
    });
    if (outstanding == 0) {
        QTRY_VERIFY_WITH_TIMEOUT(drained, waitMs);
        return;
    }
    for (int i = 0; i + 1 < outstanding; ++i)
        scheduler.releaseSlot(0);
    QCOMPARE(scheduler.pendingCount(), 1);
    QVERIFY(!drained);
    if (byReset)
        scheduler.reset();
    else
        scheduler.releaseSlot(0);
    QTRY_VERIFY_WITH_TIMEOUT(drained, waitMs);
}

void BufferSchedulerTest::stopTokenWakesSlotWaiter()
{
    BufferScheduler scheduler;
    fill(scheduler);
    std::stop_source source;
    SlotCaller ninth(scheduler, source.get_token());
    QTRY_COMPARE_WITH_TIMEOUT(scheduler.waitingCount(), 1, waitMs);

    source.request_stop();
    QTRY_VERIFY_WITH_TIMEOUT(ninth.done, waitMs);
    QVERIFY(ninth.cancelled);
    QCOMPARE(scheduler.waitingCount(), 0);
    // The cancelled caller got nothing: a release now frees a slot for real.
    scheduler.releaseSlot(0);
    QCOMPARE(scheduler.pendingCount(), 7);
}

void BufferSchedulerTest::stopTokenWakesDrainWaiter()
{
    BufferScheduler scheduler;
    scheduler.acquireSlot({});
    std::stop_source source;
    std::atomic<bool> returned {false};
    std::jthread waiter([&] {
        scheduler.waitUntilDrained(source.get_token());
        returned = true;
    });
    source.request_stop();
    QTRY_VERIFY_WITH_TIMEOUT(returned, waitMs);
    QCOMPARE(scheduler.pendingCount(), 1);
}

QTEST_GUILESS_MAIN(BufferSchedulerTest)
#include "tst_bufferscheduler.moc"
