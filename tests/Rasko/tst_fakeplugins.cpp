// The shared fake plug-ins behave as the tests built on them assume.

#include "tests/support/FakePlugins.h"

#include <QtTest>

#include <thread>

using namespace vessa;
using namespace vessa::test;

namespace {

const SourceLocator someFile = SourceLocator::fileURL(QStringLiteral("/m/a.wav"));

std::shared_ptr<FakeDecoderPlugin> tenBufferDecoder()
{
    FakeStreamScript script;
    script.format = AudioFormat(1000.0, 2, 4, false);
    script.framesPerBuffer = 100;
    script.bufferCount = 10;
    auto decoder = std::make_shared<FakeDecoderPlugin>(QStringLiteral("Fake"), QSet<QString>{QStringLiteral("wav")});
    decoder->setScript(script);
    return decoder;
}

QList<float> startTimes(const std::vector<PCMBuffer>& buffers)
{
    QList<float> times;
    for (const PCMBuffer& buffer : buffers)
        times.append(buffer.channelData.at(1).front());
    return times;
}

} // namespace

class FakePluginsTest : public QObject {
    Q_OBJECT

private slots:
    void streamsFollowTheScript();
    void endlessStreamsStartOver();
    void seekStartsAtThePosition();
    void blockedOpenWaitsForRelease();
    void destinationStoresWholeFiles();
};

void FakePluginsTest::streamsFollowTheScript()
{
    auto decoder = tenBufferDecoder();
    decoder->setScript(QStringLiteral("/m/short.wav"), [] {
        FakeStreamScript script;
        script.bufferCount = 1;
        script.reportsDuration = false;
        script.seekable = false;
        return script;
    }());
    {
        AudioStream stream = decoder->open(someFile, std::nullopt);
        QCOMPARE(stream.duration, std::optional<double>(1.0));
        QCOMPARE(decoder->liveStreamCount(), 1);
        const std::vector<PCMBuffer> buffers = drainStream(*stream.buffers);
        QCOMPARE(buffers.size(), std::size_t(10));
        QCOMPARE(buffers.back().frameCount(), 100);
        QCOMPARE(startTimes(buffers).at(3), 0.3f);
        QVERIFY(!stream.buffers->next(std::stop_token()));

        AudioStream other = decoder->open(SourceLocator::fileURL(QStringLiteral("/m/short.wav")), 1);
        QVERIFY(!other.duration && !other.seek);
        QCOMPARE(drainStream(*other.buffers).size(), std::size_t(1));
        QCOMPARE(decoder->liveStreamCount(), 2);
    }
    QCOMPARE(decoder->liveStreamCount(), 0);

    // A stop request ends a stream for good.
    AudioStream stopped = decoder->open(someFile, std::nullopt);
    std::stop_source stop;
    stop.request_stop();
    QVERIFY(!stopped.buffers->next(stop.get_token()));
    QVERIFY(!stopped.buffers->next(std::stop_token()));

    decoder->failOpens(QStringLiteral("no"));
    QVERIFY_THROWS_EXCEPTION(FakePluginError, decoder->open(someFile, std::nullopt));
    QCOMPARE(decoder->openCalls().size(), 4);
}

void FakePluginsTest::endlessStreamsStartOver()
{
    auto decoder = tenBufferDecoder();
    AudioStream endless = decoder->open(someFile, std::nullopt, DecoderHints(true, QStringLiteral("wav")));
    QVERIFY(!endless.duration);
    const QList<float> times = startTimes(drainStream(*endless.buffers, 25));
    QCOMPARE(times.size(), 25);
    QCOMPARE(times.at(9), 0.9f);
    QCOMPARE(times.at(10), 0.0f);
    QCOMPARE(decoder->openCalls().at(0).hints->fileExtension, std::optional<QString>(QStringLiteral("wav")));

    // Without honouring hints the stream ends as usual.
    decoder->setHonoursHints(false);
    AudioStream plain = decoder->open(someFile, std::nullopt, DecoderHints(true));
    QCOMPARE(drainStream(*plain.buffers, 25).size(), std::size_t(10));
    QVERIFY(!decoder->openCalls().at(1).hints);
}

void FakePluginsTest::seekStartsAtThePosition()
{
    auto decoder = tenBufferDecoder();
    SeekHandler seek = decoder->open(someFile, std::nullopt).seek;
    QVERIFY(seek);
    QCOMPARE(decoder->liveStreamCount(), 0);

    const PcmBufferStreamPtr fromHalf = seek(0.55);
    const QList<float> times = startTimes(drainStream(*fromHalf));
    QCOMPARE(times.size(), 5);
    QCOMPARE(times.front(), 0.55f);
    QVERIFY(!seek(20.0)->next(std::stop_token()));
    QCOMPARE(decoder->liveStreamCount(), 1);

    decoder->failSeeks(QStringLiteral("cannot seek"));
    QVERIFY_THROWS_EXCEPTION(FakePluginError, seek(0.1));
    QCOMPARE(decoder->seekPositions(), (QList<double>{0.55, 20.0, 0.1}));

    // The handler stays usable after its decoder is gone.
    decoder->failSeeks(std::nullopt);
    decoder.reset();
    QCOMPARE(drainStream(*seek(0.0)).size(), std::size_t(10));
}

void FakePluginsTest::blockedOpenWaitsForRelease()
{
    auto decoder = tenBufferDecoder();
    decoder->blockOpens();
    std::atomic<bool> opened{false};
    std::jthread opener([&] {
        try {
            decoder->open(someFile, std::nullopt);
            opened = true;
        } catch (const FakePluginError&) {
        }
    });
    // Runs before the thread is joined, should a check below fail.
    const auto release = qScopeGuard([&] { decoder->releaseOpens(); });
    QVERIFY(decoder->waitForBlockedOpens(1));
    QVERIFY(!opened);
    decoder->releaseOpens();
    opener.join();
    QVERIFY(opened);
    QVERIFY(decoder->waitForBlockedOpens(0));
}

void FakePluginsTest::destinationStoresWholeFiles()
{
    FakeDestinationPlugin destination;
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1000, Qt::UTC);
    destination.putFile(QStringLiteral("Old.PARVIK"), "#parvik:2\t{}\n", old);
    destination.write(QStringLiteral("New.parvik"), "x");
    destination.write(QStringLiteral("notes.txt"), "y");

    const QList<DestinationFileInfo> files = destination.list(QStringLiteral("parvik"));
    QCOMPARE(files.size(), 2);
    QCOMPARE(files.at(1).fileID, QStringLiteral("Old.PARVIK"));
    QCOMPARE(files.at(1).lastModified, old);
    QCOMPARE(files.at(1).size, std::optional<qint64>(13));
    QCOMPARE(destination.read(QStringLiteral("New.parvik")), QByteArray("x"));

    destination.write(QStringLiteral("New.parvik"), "replaced");
    QCOMPARE(destination.file(QStringLiteral("New.parvik")), std::optional<QByteArray>("replaced"));
    destination.remove(QStringLiteral("New.parvik"));
    QVERIFY(!destination.file(QStringLiteral("New.parvik")));
    QVERIFY_THROWS_EXCEPTION(FakePluginError, destination.read(QStringLiteral("New.parvik")));
    QVERIFY_THROWS_EXCEPTION(FakePluginError, destination.remove(QStringLiteral("New.parvik")));

    destination.failOperation(FakeDestinationPlugin::Operation::write, QStringLiteral("disk full"));
    QVERIFY_THROWS_EXCEPTION(FakePluginError, destination.write(QStringLiteral("a.parvik"), "z"));
    QCOMPARE(destination.fileIDs(), (QStringList{QStringLiteral("Old.PARVIK"), QStringLiteral("notes.txt")}));
}

QTEST_GUILESS_MAIN(FakePluginsTest)

#include "tst_fakeplugins.moc"
