#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/mikmod_buffer_driver.h"
#include "VessaCore/Error.h"
#include "tests/support/ModFixture.h"

#include <QtTest>

#include <functional>
#include <limits>
#include <thread>

#include <mikmod.h>

using namespace vessa;
using vessa::test::ModFixture;

namespace {

constexpr qint64 patternFrames = ModFixture::patternFrames;

QByteArray song(int positions, const QByteArray& title = "Fixture")
{
    return ModFixture::song(positions, title).bytes();
}

// One note on channel 0 at the start of every position's pattern, and one
// effect on channel 1 at `row` of `pattern`.
QByteArray songWithEffect(const QList<int>& orders, int pattern, int row, int effect, int parameter)
{
    ModFixture fixture;
    fixture.orders = orders;
    for (int p : orders)
        fixture.note(p, 0, 0, {ModFixture::middleC, 1});
    return fixture.note(pattern, row, 1, {0, 0, effect, parameter}).bytes();
}

// The frames of a stream until it ends, or -1 when it goes on past 40
// positions; with `samples`, also every sample, left and right interleaved.
// `afterBlock` runs after every block.
qint64 drain(PcmBufferStream& stream, std::vector<float>* samples = nullptr,
             const std::function<void()>& afterBlock = {})
{
    std::stop_source source;
    qint64 frames = 0;
    while (const std::optional<PCMBuffer> buffer = stream.next(source.get_token())) {
        // Every update renders the driver's whole block of 32768 bytes.
        if (buffer->format != MikmodDecoderPlugin::streamFormat() || buffer->channelData.at(1).size() != 8192
            || buffer->frameCount() != 8192)
            qFatal("not a full stereo block");
        for (std::size_t i = 0; samples && i < 8192; ++i)
            samples->insert(samples->end(), {buffer->channelData[0][i], buffer->channelData[1][i]});
        frames += 8192;
        if (afterBlock)
            afterBlock();
        if (frames > 40 * patternFrames)
            return -1;
    }
    return frames;
}

// The song played to its end: whole positions, then at most the rest of the
// block in which it ended.
bool playedPositions(qint64 frames, qint64 positions)
{
    return frames >= positions * patternFrames && frames <= positions * patternFrames + 2 * 8192;
}

QString failure(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& error) {
        return error.description();
    }
    return "no error";
}

} // namespace

class MikmodDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void metadata_data();
    void metadata();
    void failures();
    void streamEnds_data();
    void streamEnds();
    void seek_data();
    void seek();
    void overlappingStreams();
    void concurrentStreams();
    void extractWhilePlaying();
};

// libmikmod is initialised once per process: this is the program's first use of it.
void MikmodDecoderTest::initTestCase()
{
    MikmodDecoderPlugin plugin;
    md_device = 99; // no such driver: MikMod_Init fails
    // Each call initialises again, registering nothing twice (which would hang).
    for (const bool viaExtract : {false, true, false}) {
        const SourceLocator locator = SourceLocator::data(song(1));
        const QString text = failure(
            [&] { viaExtract ? (void)plugin.extract(locator, {}) : (void)plugin.open(locator, {}, DecoderHints()); });
        std::lock_guard guard(MikmodLibrary::lock());
        QCOMPARE(text, "Failed to initialize libmikmod: " + QString::fromUtf8(MikMod_strerror(MikMod_errno)));
        QVERIFY(MikMod_errno != 0 && !mikmod_buffer_get_data());
    }
    md_device = 0; // the first driver present: the only one registered
    QCOMPARE(plugin.extract(SourceLocator::data(song(1)), {}).title, "Fixture");
    // Initialised with the "Buffer" driver; nothing rendered yet.
    std::lock_guard guard(MikmodLibrary::lock());
    QVERIFY(mikmod_buffer_get_data() && mikmod_buffer_get_length() == 0);
    QVERIFY(QString::fromUtf8(md_driver->Name) == "Buffer" && md_driver->IsPresent());
}

void MikmodDecoderTest::metadata_data()
{
    QTest::addColumn<QByteArray>("songName");
    QTest::addColumn<std::optional<QString>>("title");

    QTest::newRow("spaces around") << QByteArray("  Space Race  ") << std::optional<QString>("Space Race");
    QTest::newRow("spaces only") << QByteArray("     ") << std::optional<QString>();
    QTest::newRow("full field") << QByteArray("Twenty characters!!!") << std::optional<QString>("Twenty characters!!!");
}

void MikmodDecoderTest::metadata()
{
    QFETCH(QByteArray, songName);
    QFETCH(std::optional<QString>, title);

    const QByteArray bytes = song(1, songName);
    const TrackMetadata metadata = MikmodDecoderPlugin().extract(SourceLocator::data(bytes), 7);
    // The album is the library's own name for the module's format.
    std::unique_lock guard(MikmodLibrary::lock());
    MODULE* module = Player_LoadMem(bytes.constData(), int(bytes.size()), 0, 0);
    QVERIFY(module);
    const QString type = QString::fromUtf8(module->modtype);
    Player_Free(module);
    guard.unlock();
    QCOMPARE(metadata, (TrackMetadata{.title = title, .album = type, .subTrackIndex = 7}));
}

void MikmodDecoderTest::failures()
{
    MikmodDecoderPlugin plugin;
    const QByteArray noise =
        QByteArray::fromHex("9c1e52d07b33e8a4f10c6d2995be47018aa3f25c60d93e7b14c8e05f2ba6917d403bc9e2");
    const QString notAModule = "Failed to load tracker module: Module format not recognized";
    QCOMPARE(failure([&] { plugin.open(SourceLocator::data(noise), {}, DecoderHints()); }), notAModule);
    QCOMPARE(failure([&] { plugin.extract(SourceLocator::data(noise), {}); }), notAModule);
    // The library gives no reason for empty data.
    QCOMPARE(failure([&] { plugin.open(SourceLocator::data({}), {}, DecoderHints()); }),
             "Failed to load tracker module: Unknown error");
    const QString missing = failure(
        [&] { plugin.open(SourceLocator::fileURL(QDir::current().filePath("missing.mod")), {}, DecoderHints()); });
    QVERIFY2(missing.startsWith("The file \u201Cmissing.mod\u201D couldn\u2019t be read: "), qPrintable(missing));
}

void MikmodDecoderTest::streamEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("atLeast");
    QTest::addColumn<qint64>("atMost");

    const qint64 row = ModFixture::rowFrames;
    QTest::newRow("plain") << song(2) << 2 * patternFrames << 2 * patternFrames + 2 * 8192;
    // Jumps back that libmikmod's no-loop check lets through.
    QTest::newRow("last position jumps to itself")
        << songWithEffect({0, 1}, 1, 32, ModFixture::positionJump, 1) << patternFrames + 32 * row << 3 * patternFrames;
    QTest::newRow("middle position jumps to itself") << songWithEffect({0, 1, 2}, 1, 16, ModFixture::positionJump, 1)
                                                     << patternFrames + 16 * row << 2 * patternFrames + 17 * row + 8192;
    QTest::newRow("last position breaks to the start") << songWithEffect({0, 1}, 1, 32, ModFixture::patternBreak, 0x10)
                                                       << patternFrames + 32 * row << 4 * patternFrames;
    QTest::newRow("last position jumps to the first") << songWithEffect({0, 1, 2}, 2, 32, ModFixture::positionJump, 0)
                                                      << 2 * patternFrames + 32 * row << 4 * patternFrames;
}

void MikmodDecoderTest::streamEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, atLeast);
    QFETCH(qint64, atMost);

    // A sub-track index and endless play change nothing.
    AudioStream stream = MikmodDecoderPlugin().open(SourceLocator::data(bytes), 3, DecoderHints(true, "mod"));
    QVERIFY(!stream.duration && stream.seek);
    std::vector<float> samples;
    const qint64 frames = drain(*stream.buffers, &samples);
    QVERIFY2(frames >= atLeast && frames <= atMost, qPrintable(QString::number(frames)));
    std::stop_source source;
    QVERIFY(!stream.buffers->next(source.get_token())); // stays finished
    // The note on channel 0 sounds on the left.
    double balance = 0;
    for (std::size_t i = 0; i < 2 * 8192; i += 2)
        balance += std::abs(samples[i]) - std::abs(samples[i + 1]);
    QVERIFY(balance > 100);
}

void MikmodDecoderTest::seek_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("remainingPositions"); // of the ten

    QTest::newRow("10 s: position 5") << 10.0 << qint64(5);
    QTest::newRow("1.9 s: position 0") << 1.9 << qint64(10);
    QTest::newRow("past the last position") << 65.0 << qint64(0);
    QTest::newRow("negative") << -4.0 << qint64(10);
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << qint64(10);
    QTest::newRow("huge") << 1e12 << qint64(0);
}

void MikmodDecoderTest::seek()
{
    QFETCH(double, seconds);
    QFETCH(qint64, remainingPositions);

    AudioStream stream = MikmodDecoderPlugin().open(SourceLocator::data(song(10)), {}, DecoderHints());
    std::stop_source source;
    QVERIFY(stream.buffers->next(source.get_token()));
    // As the player does: seek while the old stream lives, then drop it.
    const PcmBufferStreamPtr seeked = stream.seek(seconds);
    stream.buffers.reset();
    const qint64 frames = drain(*seeked);
    QVERIFY2(remainingPositions == 0 ? frames == 0 : playedPositions(frames, remainingPositions),
             qPrintable(QString::number(frames)));
}

void MikmodDecoderTest::overlappingStreams()
{
    // A track change: the second stream starts while the first still lives.
    MikmodDecoderPlugin plugin;
    AudioStream first = plugin.open(SourceLocator::data(song(4)), {}, DecoderHints());
    std::stop_source source;
    QVERIFY(first.buffers->next(source.get_token()) && first.buffers->next(source.get_token()));
    AudioStream second = plugin.open(SourceLocator::data(song(3)), {}, DecoderHints());
    QVERIFY(second.buffers->next(source.get_token()));
    // The first stream's module is no longer the current one: it ends instead
    // of rendering the second's, and dropping it leaves the second playing.
    QVERIFY(!first.buffers->next(source.get_token()));
    first.buffers.reset();
    const qint64 frames = 8192 + drain(*second.buffers);
    QVERIFY2(playedPositions(frames, 3), qPrintable(QString::number(frames)));
}

void MikmodDecoderTest::concurrentStreams()
{
    // Two threads pull at once; whatever the interleaving, the stream that
    // started last plays its whole song, and the other never more than its own.
    MikmodDecoderPlugin plugin;
    for (int round = 0; round < 5; ++round) {
        AudioStream older = plugin.open(SourceLocator::data(song(6)), {}, DecoderHints());
        std::stop_source source;
        QVERIFY(older.buffers->next(source.get_token()));
        qint64 olderFrames = 0;
        std::jthread olderThread([&] { olderFrames = drain(*older.buffers); });
        AudioStream newer = plugin.open(SourceLocator::data(song(2)), {}, DecoderHints());
        const qint64 newerFrames = drain(*newer.buffers);
        olderThread.join();
        QVERIFY2(playedPositions(newerFrames, 2), qPrintable(QString::number(newerFrames)));
        QVERIFY(olderFrames >= 0 && olderFrames <= 6 * patternFrames);
    }
}

void MikmodDecoderTest::extractWhilePlaying()
{
    MikmodDecoderPlugin plugin;
    std::vector<float> expected, samples;
    QVERIFY(
        playedPositions(drain(*plugin.open(SourceLocator::data(song(2)), {}, DecoderHints()).buffers, &expected), 2));
    // The same song again, with another module's tags read after every block.
    int extracted = 0;
    const qint64 frames = drain(*plugin.open(SourceLocator::data(song(2)), {}, DecoderHints()).buffers, &samples, [&] {
        extracted += plugin.extract(SourceLocator::data(song(1, "Other")), {}).title == "Other";
    });
    QCOMPARE(extracted, frames / 8192);
    QVERIFY(samples == expected);
}

QTEST_GUILESS_MAIN(MikmodDecoderTest)
#include "tst_mikmoddecoder.moc"
