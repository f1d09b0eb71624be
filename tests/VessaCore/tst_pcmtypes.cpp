#include "VessaCore/AudioFormat.h"
#include "VessaCore/AudioOutput.h"
#include "VessaCore/Error.h"
#include "VessaCore/PCMBuffer.h"
#include "VessaCore/TransportState.h"

#include <QJsonDocument>
#include <QtTest>

using namespace vessa;

class PcmTypesTest : public QObject {
    Q_OBJECT

private slots:
    void bufferFrameCounts();
    void formatEquality();
    void formatJson();
    void formatJsonFailures_data();
    void formatJsonFailures();
    void transportStates();
    void defaultDrainReturnsAtOnce();
};

void PcmTypesTest::bufferFrameCounts()
{
    QCOMPARE(PCMBuffer(AudioFormat::cdQuality(), {}).frameCount(), 0);

    const PCMBuffer empty = PCMBuffer::silence(AudioFormat::cdQuality(), 0);
    QCOMPARE(empty.channelData.size(), std::size_t(2));
    QVERIFY(empty.channelData[0].empty() && empty.channelData[1].empty());
    QCOMPARE(empty.frameCount(), 0);

    const PCMBuffer silence = PCMBuffer::silence(AudioFormat(48000, 3, 4, false), 100);
    QCOMPARE(silence.channelData.size(), std::size_t(3));
    QCOMPARE(silence.frameCount(), 100);
    for (const auto& channel : silence.channelData)
        QVERIFY(std::all_of(channel.begin(), channel.end(), [](float s) { return s == 0.0f; }));

    // The frame count is the first channel's length, whatever the others hold.
    const PCMBuffer ragged(AudioFormat::cdQuality(), {{1, 2, 3}, {1}});
    QCOMPARE(ragged.frameCount(), 3);
}

void PcmTypesTest::formatEquality()
{
    const AudioFormat cd = AudioFormat::cdQuality();
    QCOMPARE(cd, AudioFormat(44100.0, 2, 4, false));
    QVERIFY(cd != AudioFormat(44100.0, 2, 4, true));
    QVERIFY(cd != AudioFormat(48000.0, 2, 4, false));
    QVERIFY(cd != AudioFormat(44100.0, 1, 4, false));
    QVERIFY(cd != AudioFormat(44100.0, 2, 2, false));
}

void PcmTypesTest::formatJson()
{
    const QJsonObject object = AudioFormat::cdQuality().toJson();
    QCOMPARE(object.value("sampleRate").toDouble(), 44100.0);
    QCOMPARE(object.value("channelCount").toInteger(), 2);
    QCOMPARE(object.value("bytesPerSample").toInteger(), 4);
    QCOMPARE(object.value("interleaved").toBool(true), false);
    const QByteArray text = QJsonDocument(object).toJson();
    QCOMPARE(AudioFormat::fromJson(QJsonDocument::fromJson(text).object()), AudioFormat::cdQuality());
}

void PcmTypesTest::formatJsonFailures_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("missing rate") << QByteArray(R"({"channelCount":2,"bytesPerSample":4,"interleaved":false})");
    QTest::newRow("missing flag") << QByteArray(R"({"sampleRate":1,"channelCount":2,"bytesPerSample":4})");
    QTest::newRow("text rate") << QByteArray(R"({"sampleRate":"x","channelCount":2,"bytesPerSample":4,"interleaved":false})");
    QTest::newRow("fractional channels")
        << QByteArray(R"({"sampleRate":1,"channelCount":2.5,"bytesPerSample":4,"interleaved":false})");
    QTest::newRow("number flag") << QByteArray(R"({"sampleRate":1,"channelCount":2,"bytesPerSample":4,"interleaved":0})");
}

void PcmTypesTest::formatJsonFailures()
{
    QFETCH(QByteArray, json);
    QVERIFY_THROWS_EXCEPTION(JsonDecodingError, AudioFormat::fromJson(QJsonDocument::fromJson(json).object()));
}

void PcmTypesTest::transportStates()
{
    QCOMPARE(TransportState::idle().position(), 0.0);
    QVERIFY(!TransportState::idle().isPlaying());

    const TransportState paused = TransportState::paused(3.5);
    QCOMPARE(paused.position(), 3.5);
    QVERIFY(!paused.isPlaying());
    QVERIFY(TransportState::playing(1.0).isPlaying());

    QCOMPARE(TransportState::paused(3.5), TransportState::paused(3.5));
    QVERIFY(TransportState::paused(3.5) != TransportState::playing(3.5));
    QVERIFY(TransportState::paused(3.5) != TransportState::paused(3.6));
    QCOMPARE(TransportState(), TransportState::idle());
}

void PcmTypesTest::defaultDrainReturnsAtOnce()
{
    struct QueuelessOutput : AudioOutput {
        void prepare(const AudioFormat&) override {}
        void schedule(PCMBuffer, std::stop_token) override {}
        void play() override {}
        void pause() override {}
        void stop() override {}
        void seek(double) override {}
        double currentTime() const override { return 0; }
    } output;
    std::stop_source neverStopped;
    output.waitForQueueDrained(neverStopped.get_token());
}

QTEST_GUILESS_MAIN(PcmTypesTest)
#include "tst_pcmtypes.moc"
