#include "VessaCore/Error.h"
#include "VessaCore/PullPcmBufferStream.h"
#include "VessaCore/TransportState.h"
#include "VessaCore/VectorPcmBufferStream.h"

#include <QJsonDocument>
#include <QtTest>

#include <stdexcept>

using namespace vessa;

class PcmTypesTest : public QObject {
    Q_OBJECT

private slots:
    void values()
    {
        using Channels = std::vector<std::vector<float>>;
        QCOMPARE(PCMBuffer(AudioFormat::cdQuality(), {}).frameCount(), 0);
        QVERIFY(PCMBuffer::silence(AudioFormat::cdQuality(), 0).channelData == Channels(2));
        const PCMBuffer silence = PCMBuffer::silence(AudioFormat(48000, 3, 4, false), 100);
        QVERIFY(silence.channelData == Channels(3, std::vector(100, 0.0f)));
        QCOMPARE(silence.frameCount(), 100);
        // The frame count is the first channel's length, whatever the others hold.
        QCOMPARE(PCMBuffer(AudioFormat::cdQuality(), {{1, 2, 3}, {1}}).frameCount(), 3);

        QCOMPARE(AudioFormat::cdQuality(), AudioFormat(44100.0, 2, 4, false));
        QVERIFY(AudioFormat::cdQuality() != AudioFormat(44100.0, 2, 4, true));

        QCOMPARE(TransportState::idle().position(), 0.0);
        QCOMPARE(TransportState::paused(3.5).position(), 3.5);
        QVERIFY(!TransportState::paused(3.5).isPlaying() && TransportState::playing(3.5).isPlaying());
        QVERIFY(TransportState::paused(3.5) != TransportState::playing(3.5));
        QVERIFY(TransportState::paused(3.5) != TransportState::paused(3.6));
    }

    void formatJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("cd quality") << QJsonDocument(AudioFormat::cdQuality().toJson()).toJson() << true;
        QTest::newRow("missing key") << QByteArray(R"({"sampleRate":1,"channelCount":2,"bytesPerSample":4})") << false;
        QTest::newRow("text rate")
            << QByteArray(R"({"sampleRate":"x","channelCount":2,"bytesPerSample":4,"interleaved":false})") << false;
        QTest::newRow("fractional channels")
            << QByteArray(R"({"sampleRate":1,"channelCount":2.5,"bytesPerSample":4,"interleaved":false})") << false;
    }

    void formatJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        if (valid)
            QCOMPARE(AudioFormat::fromJson(object), AudioFormat::cdQuality());
        else
            QVERIFY_THROWS_EXCEPTION(JsonDecodingError, AudioFormat::fromJson(object));
    }

    void streams()
    {
        const PCMBuffer buffer = PCMBuffer::silence(AudioFormat::cdQuality(), 1);
        int ends = 0;
        auto pulling = [&] {
            return std::make_unique<PullPcmBufferStream>([&](std::stop_token) { return std::optional(buffer); },
                                                         [&] { ++ends; });
        };
        std::stop_source running;
        std::stop_source stopped;
        stopped.request_stop();

        // Destroyed mid-stream, a pull stream runs its end action once.
        QVERIFY(pulling()->next(running.get_token()));
        QCOMPARE(ends, 1);
        // After a stop request a stream stays finished.
        std::vector<PcmBufferStreamPtr> streams;
        streams.push_back(pulling());
        streams.push_back(std::make_unique<VectorPcmBufferStream>(std::vector(3, buffer)));
        for (const PcmBufferStreamPtr& stream : streams) {
            QVERIFY(stream->next(running.get_token()));
            QVERIFY(!stream->next(stopped.get_token()));
            QVERIFY(!stream->next(running.get_token()));
        }
        streams.clear();
        QCOMPARE(ends, 2);
        // A stream also ends with its data, or when its pull function throws.
        VectorPcmBufferStream one({buffer});
        QVERIFY(one.next(running.get_token()) && !one.next(running.get_token()));
        PullPcmBufferStream failing([](std::stop_token) -> std::optional<PCMBuffer> { throw std::runtime_error("bad"); },
                                    [&] { ++ends; });
        QVERIFY(!failing.next(running.get_token()));
        QCOMPARE(ends, 3);
    }
};

QTEST_GUILESS_MAIN(PcmTypesTest)
#include "tst_pcmtypes.moc"
