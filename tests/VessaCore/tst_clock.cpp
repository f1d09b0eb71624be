#include "VessaCore/Clock.h"

#include "tests/support/FakeAudioOutput.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace vessa;
using vessa::test::FakeAudioOutput;

namespace {

bool isPolling(const Clock& clock)
{
    const QTimer* timer = clock.findChild<QTimer*>();
    return timer && timer->isActive();
}

} // namespace

class ClockTest : public QObject {
    Q_OBJECT

private slots:
    void intervalInWholeMilliseconds_data();
    void intervalInWholeMilliseconds();
    void firstReadHappensAtOnce();
    void startPollingTwiceKeepsOnePoll();
    void notifiesOnlyOnChange();
    void publishesNothingAfterStopping();
    void resetWhilePolling();
    void durationNotifiesOnlyOnChange();
};

void ClockTest::intervalInWholeMilliseconds_data()
{
    QTest::addColumn<double>("interval");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("player interval") << 0.1 << 100;
    QTest::newRow("truncated toward zero") << 0.0015 << 1;
    QTest::newRow("below a millisecond") << 0.0009 << 0;
    QTest::newRow("seconds") << 2.0 << 2000;
}

void ClockTest::intervalInWholeMilliseconds()
{
    QFETCH(double, interval);
    QFETCH(int, milliseconds);
    FakeAudioOutput output;
    Clock clock(output, interval);
    const QTimer* timer = clock.findChild<QTimer*>();
    QVERIFY(timer);
    QCOMPARE(timer->interval(), milliseconds);
    QVERIFY(!timer->isActive());
}

void ClockTest::firstReadHappensAtOnce()
{
    FakeAudioOutput output;
    output.setCurrentTime(2.5);
    Clock clock(output, 0.1);
    QSignalSpy positionSpy(&clock, &Clock::positionChanged);
    QCOMPARE(clock.position(), 0.0);

    clock.startPolling();
    QCOMPARE(clock.position(), 2.5);
    QCOMPARE(positionSpy.count(), 1);
    QVERIFY(isPolling(clock));
}

void ClockTest::startPollingTwiceKeepsOnePoll()
{
    FakeAudioOutput output;
    Clock clock(output, 0.1);
    clock.startPolling();
    clock.startPolling();
    QCOMPARE(output.currentTimeReads(), 1);
    QCOMPARE(clock.findChildren<QTimer*>().size(), 1);

    clock.stopPolling();
    clock.stopPolling();
    QVERIFY(!isPolling(clock));
}

void ClockTest::notifiesOnlyOnChange()
{
    FakeAudioOutput output;
    output.setCurrentTime(1.0);
    Clock clock(output, 0.001);
    QSignalSpy positionSpy(&clock, &Clock::positionChanged);
    clock.startPolling();
    QCOMPARE(positionSpy.count(), 1);

    // Several polls of the same time publish nothing.
    QTRY_VERIFY(output.currentTimeReads() >= 5);
    QCOMPARE(positionSpy.count(), 1);

    output.setCurrentTime(1.25);
    QTRY_COMPARE(clock.position(), 1.25);
    const int readsAfterChange = output.currentTimeReads();
    QTRY_VERIFY(output.currentTimeReads() >= readsAfterChange + 3);
    QCOMPARE(positionSpy.count(), 2);
}

void ClockTest::publishesNothingAfterStopping()
{
    FakeAudioOutput output;
    output.setCurrentTime(3.0);
    Clock clock(output, 0.001);
    // A second clock over the same output shows when polls would have run.
    Clock witness(output, 0.001);
    clock.startPolling();
    QCOMPARE(clock.position(), 3.0);
    clock.stopPolling();

    output.setCurrentTime(4.0);
    witness.startPolling();
    const int reads = output.currentTimeReads();
    QTRY_VERIFY(output.currentTimeReads() >= reads + 5);
    QCOMPARE(witness.position(), 4.0);
    QCOMPARE(clock.position(), 3.0);
}

void ClockTest::resetWhilePolling()
{
    FakeAudioOutput output;
    output.setCurrentTime(7.0);
    Clock clock(output, 0.1);
    clock.setDuration(120.0);
    clock.startPolling();
    QSignalSpy positionSpy(&clock, &Clock::positionChanged);
    QSignalSpy durationSpy(&clock, &Clock::durationChanged);

    clock.reset();
    QVERIFY(!isPolling(clock));
    QCOMPARE(clock.position(), 0.0);
    QCOMPARE(clock.duration(), std::nullopt);
    QCOMPARE(positionSpy.count(), 1);
    QCOMPARE(durationSpy.count(), 1);

    clock.reset();
    QCOMPARE(positionSpy.count(), 1);
    QCOMPARE(durationSpy.count(), 1);
}

void ClockTest::durationNotifiesOnlyOnChange()
{
    FakeAudioOutput output;
    Clock clock(output, 0.1);
    QSignalSpy durationSpy(&clock, &Clock::durationChanged);

    clock.setDuration(std::nullopt);
    QCOMPARE(durationSpy.count(), 0);
    clock.setDuration(5.0);
    clock.setDuration(5.0);
    QCOMPARE(durationSpy.count(), 1);
    clock.setDuration(0.0);
    QCOMPARE(clock.duration(), std::optional<double>(0.0));
    clock.setDuration(std::nullopt);
    QCOMPARE(durationSpy.count(), 3);
}

QTEST_GUILESS_MAIN(ClockTest)
#include "tst_clock.moc"
