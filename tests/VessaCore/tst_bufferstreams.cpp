#include "VessaCore/PullPcmBufferStream.h"
#include "VessaCore/VectorPcmBufferStream.h"

#include <QtTest>

#include <stdexcept>

using namespace vessa;

namespace {

PCMBuffer bufferOf(float value)
{
    return PCMBuffer(AudioFormat(8000, 1, 4, false), {{value}});
}

} // namespace

class BufferStreamsTest : public QObject {
    Q_OBJECT

private slots:
    void vectorStreamInOrderThenFinished();
    void vectorStreamStopsForGood();
    void pullStreamEndsOnce();
    void pullStreamStopRequest();
    void pullStreamDestroyedMidway();
    void pullStreamThrowingEnds();
};

void BufferStreamsTest::vectorStreamInOrderThenFinished()
{
    VectorPcmBufferStream stream({bufferOf(1), bufferOf(2)});
    std::stop_source source;
    QCOMPARE(stream.next(source.get_token())->channelData[0][0], 1.0f);
    QCOMPARE(stream.next(source.get_token())->channelData[0][0], 2.0f);
    QVERIFY(!stream.next(source.get_token()));
    QVERIFY(!stream.next(source.get_token()));
}

void BufferStreamsTest::vectorStreamStopsForGood()
{
    VectorPcmBufferStream stream({bufferOf(1), bufferOf(2)});
    std::stop_source stopped;
    stopped.request_stop();
    QVERIFY(!stream.next(stopped.get_token()));
    std::stop_source fresh;
    QVERIFY(!stream.next(fresh.get_token()));
}

void BufferStreamsTest::pullStreamEndsOnce()
{
    int pulls = 0;
    int ends = 0;
    {
        PullPcmBufferStream stream(
            [&](std::stop_token) -> std::optional<PCMBuffer> {
                if (++pulls > 2)
                    return std::nullopt;
                return bufferOf(static_cast<float>(pulls));
            },
            [&] { ++ends; });
        std::stop_source source;
        QVERIFY(stream.next(source.get_token()));
        QVERIFY(stream.next(source.get_token()));
        QVERIFY(!stream.next(source.get_token()));
        QCOMPARE(ends, 1);
        QVERIFY(!stream.next(source.get_token()));
        QCOMPARE(pulls, 3);
    }
    QCOMPARE(ends, 1);
}

void BufferStreamsTest::pullStreamStopRequest()
{
    int pulls = 0;
    int ends = 0;
    PullPcmBufferStream stream(
        [&](std::stop_token) -> std::optional<PCMBuffer> {
            ++pulls;
            return bufferOf(0);
        },
        [&] { ++ends; });
    std::stop_source source;
    QVERIFY(stream.next(source.get_token()));
    source.request_stop();
    QVERIFY(!stream.next(source.get_token()));
    QCOMPARE(ends, 1);
    std::stop_source fresh;
    QVERIFY(!stream.next(fresh.get_token()));
    QCOMPARE(pulls, 1);
    QCOMPARE(ends, 1);
}

void BufferStreamsTest::pullStreamDestroyedMidway()
{
    int ends = 0;
    {
        PullPcmBufferStream stream([](std::stop_token) -> std::optional<PCMBuffer> { return bufferOf(0); },
                                   [&] { ++ends; });
        std::stop_source source;
        QVERIFY(stream.next(source.get_token()));
        QCOMPARE(ends, 0);
    }
    QCOMPARE(ends, 1);
}

void BufferStreamsTest::pullStreamThrowingEnds()
{
    int ends = 0;
    PullPcmBufferStream stream(
        [](std::stop_token) -> std::optional<PCMBuffer> { throw std::runtime_error("decode failed"); },
        [&] { ++ends; });
    std::stop_source source;
    QVERIFY(!stream.next(source.get_token()));
    QCOMPARE(ends, 1);
}

QTEST_GUILESS_MAIN(BufferStreamsTest)
#include "tst_bufferstreams.moc"
