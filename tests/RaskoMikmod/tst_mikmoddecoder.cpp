#include "Rasko/CompositeMetadataExtractor.h"
#include "RaskoLocalFile/FileIndexer.h"
#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "RaskoMikmod/MikmodError.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/MikmodRenderer.h"
#include "VessaCore/Error.h"
#include "tests/support/DecoderHelperProbe.h"
#include "tests/support/FileFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ModFixture.h"

#include <QtTest>

#include <functional>
#include <limits>
#include <thread>

using namespace vessa;
using namespace vessa::test;

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

// A module whose tempo and speed change along the way: BPM 150 at the
// start of position 1, 4 ticks a row halfway through it, BPM 90 and 9 ticks
// a row in position 2.
QByteArray songWithTempoChanges()
{
    ModFixture fixture = ModFixture::song(4);
    fixture.note(1, 0, 1, {ModFixture::middleC, 1, ModFixture::setSpeed, 150});
    fixture.note(1, 32, 1, {0, 0, ModFixture::setSpeed, 4});
    fixture.note(2, 8, 2, {ModFixture::middleC / 2, 1, ModFixture::setSpeed, 90});
    fixture.note(2, 40, 3, {ModFixture::middleC * 2, 1, ModFixture::setSpeed, 9});
    for (int row = 4; row < ModFixture::rowCount; row += 12)
        fixture.note(3, row, 1, {ModFixture::middleC + row, 1});
    return fixture.bytes();
}

// A song that plays for hours: 64 positions of 64 rows at 31 ticks a row
// and 32 BPM, each starting a note on every channel.
QByteArray slowSong()
{
    ModFixture fixture = ModFixture::song(64);
    for (int position = 0; position < 64; ++position) {
        for (int channel = 1; channel < ModFixture::channelCount; ++channel)
            fixture.note(position, 0, channel, {ModFixture::middleC + 20 * channel, 1});
    }
    fixture.note(0, 0, 1, {ModFixture::middleC + 20, 1, ModFixture::setSpeed, 31});
    fixture.note(0, 0, 2, {ModFixture::middleC + 40, 1, ModFixture::setSpeed, 32});
    return fixture.bytes();
}

MikmodDecoderPlugin plugin()
{
    return MikmodDecoderPlugin(VESSA_DECODER_HELPER);
}

// The frames of a stream until it ends, or -1 when it goes on past 40
// positions; with `samples`, also every sample, left and right interleaved.
// `afterBlock` runs after every block. Every block is the driver's whole
// block of 8192 frames, but for the first one after a seek.
qint64 drain(PcmBufferStream& stream, std::vector<float>* samples = nullptr,
             const std::function<void()>& afterBlock = {}, bool sought = false)
{
    std::stop_source source;
    qint64 frames = 0;
    while (const std::optional<PCMBuffer> buffer = stream.next(source.get_token())) {
        const std::size_t count = buffer->frameCount();
        if (buffer->format != MikmodDecoderPlugin::streamFormat() || buffer->channelData.at(1).size() != count
            || (count != 8192 && !(sought && frames == 0 && count < 8192)))
            qFatal("not a full stereo block");
        for (std::size_t i = 0; samples && i < count; ++i)
            samples->insert(samples->end(), {buffer->channelData[0][i], buffer->channelData[1][i]});
        frames += qint64(count);
        if (afterBlock)
            afterBlock();
        if (frames > 40 * patternFrames)
            return -1;
    }
    return frames;
}

// Every sample of a module rendered in this process, by the code the helper
// runs, left and right interleaved.
std::vector<float> renderInProcess(const QByteArray& bytes)
{
    MikmodRenderer renderer(MikmodLibrary::load(bytes, MikmodLibrary::LoadPurpose::playback));
    std::vector<float> samples;
    while (const std::optional<QByteArray> block = renderer.renderNext()) {
        const auto* values = reinterpret_cast<const qint16*>(block->constData());
        for (qsizetype i = 0; i < block->size() / 2; ++i)
            samples.push_back(values[i] / 32768.0f);
    }
    return samples;
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

    QTemporaryDir m_files;

private slots:
    void metadata_data();
    void metadata();
    void failures();
    void streamEnds_data();
    void streamEnds();
    void samePcmAsTheLibrary();
    void seekPlaysWhatPlayingFromTheStartPlays_data();
    void seekPlaysWhatPlayingFromTheStartPlays();
    void streamsSideBySide();
    void hundredModulesInARow();
    void extractWhilePlaying();
    void stopEndsTheHelpersWork_data();
    void stopEndsTheHelpersWork();
    void scanSkipsAStoppedTagReadQuietly_data();
    void scanSkipsAStoppedTagReadQuietly();
};

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
    const TrackMetadata metadata = plugin().extract(SourceLocator::data(bytes), 7);
    // The album is the library's own name for the module's format.
    const std::optional<QString> type = MikmodLibrary::load(bytes, MikmodLibrary::LoadPurpose::inspection).moduleType();
    QVERIFY(type && !type->isEmpty());
    QCOMPARE(metadata, (TrackMetadata{.title = title, .album = type, .subTrackIndex = 7}));
}

void MikmodDecoderTest::failures()
{
    const QByteArray noise =
        QByteArray::fromHex("9c1e52d07b33e8a4f10c6d2995be47018aa3f25c60d93e7b14c8e05f2ba6917d403bc9e2");
    const QString notAModule = "Failed to load tracker module: Module format not recognized";
    QCOMPARE(failure([&] { plugin().open(SourceLocator::data(noise), {}, DecoderHints()); }), notAModule);
    QCOMPARE(failure([&] { plugin().extract(SourceLocator::data(noise), {}); }), notAModule);
    // Too short for any header: refused before the library sees it, as the
    // library refuses what it cannot load.
    QCOMPARE(failure([&] { plugin().open(SourceLocator::data({}), {}, DecoderHints()); }), notAModule);
    QCOMPARE(failure([&] { plugin().extract(SourceLocator::data("M.K."), {}); }), notAModule);
    try {
        plugin().open(SourceLocator::data("M.K."), {}, DecoderHints());
        QFAIL("a header too short was opened");
    } catch (const MikmodError& error) {
        QCOMPARE(error.kind(), MikmodError::Kind::loadFailed);
        QCOMPARE(error.message(), "Module format not recognized");
    }
    const QString missing = failure(
        [&] { plugin().open(SourceLocator::fileURL(QDir::current().filePath("missing.mod")), {}, DecoderHints()); });
    QVERIFY2(missing.startsWith("The file \u201Cmissing.mod\u201D couldn\u2019t be read: "), qPrintable(missing));
    // Every case crosses the helper's wire as it was; a failure the library
    // did not explain says so.
    for (const MikmodError& error : {MikmodError::initFailed({}), MikmodError::loadFailed(QStringLiteral("x"))}) {
        const MikmodError received = MikmodError::fromWire(qint32(error.kind()), error.message());
        QCOMPARE(received.kind(), error.kind());
        QCOMPARE(received.description(), error.description());
    }
    QCOMPARE(MikmodError::loadFailed({}).description(), "Failed to load tracker module: Unknown error");
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
    AudioStream stream = plugin().open(SourceLocator::data(bytes), 3, DecoderHints(true, "mod"));
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

void MikmodDecoderTest::samePcmAsTheLibrary()
{
    const QByteArray bytes = songWithTempoChanges();
    std::vector<float> samples;
    QVERIFY(drain(*plugin().open(SourceLocator::data(bytes), {}, DecoderHints()).buffers, &samples) > 0);
    QVERIFY(samples == renderInProcess(bytes));
}

void MikmodDecoderTest::seekPlaysWhatPlayingFromTheStartPlays_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("seconds");

    const QByteArray changes = songWithTempoChanges();
    const QByteArray jumps = songWithEffect({0, 1, 2}, 1, 16, ModFixture::positionJump, 1);
    for (const double seconds : {0.0, 0.05, 7.3, 9.0, 15.5, 21.0, 26.25})
        QTest::addRow("tempo changes, %g s", seconds) << changes << seconds;
    QTest::newRow("jump, 8 s") << jumps << 8.0;
    QTest::newRow("jump, 12.5 s") << jumps << 12.5;
    QTest::newRow("past the end") << changes << 600.0;
    QTest::newRow("negative") << changes << -4.0;
    QTest::newRow("not a number") << changes << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("huge") << changes << 1e12;
}

void MikmodDecoderTest::seekPlaysWhatPlayingFromTheStartPlays()
{
    QFETCH(QByteArray, bytes);
    QFETCH(double, seconds);

    std::vector<float> whole;
    AudioStream stream = plugin().open(SourceLocator::data(bytes), {}, DecoderHints());
    std::stop_source source;
    QVERIFY(stream.buffers->next(source.get_token()));
    // As the player does: seek while the old stream lives, then drop it.
    const PcmBufferStreamPtr sought = stream.seek(seconds, {});
    stream.buffers.reset();
    std::vector<float> samples;
    drain(*sought, &samples, {}, true);

    QVERIFY(drain(*plugin().open(SourceLocator::data(bytes), {}, DecoderHints()).buffers, &whole) > 0);
    const double frame =
        std::isnan(seconds) ? 0 : std::clamp(std::round(seconds * 44100), 0.0, double(whole.size() / 2));
    const auto from = whole.begin() + qsizetype(2 * frame);
    QCOMPARE(qsizetype(samples.size()), qsizetype(whole.end() - from));
    QVERIFY(std::equal(samples.begin(), samples.end(), from));
}

void MikmodDecoderTest::streamsSideBySide()
{
    // Each stream has a library of its own: two streams rendered in turn, or
    // from two threads at once, both play their whole songs.
    AudioStream first = plugin().open(SourceLocator::data(song(4)), {}, DecoderHints());
    std::stop_source source;
    QVERIFY(first.buffers->next(source.get_token()) && first.buffers->next(source.get_token()));
    AudioStream second = plugin().open(SourceLocator::data(song(3)), {}, DecoderHints());
    QVERIFY(second.buffers->next(source.get_token()));
    qint64 firstFrames = 2 * 8192;
    std::jthread firstThread([&] { firstFrames += drain(*first.buffers); });
    const qint64 secondFrames = 8192 + drain(*second.buffers);
    firstThread.join();
    QVERIFY2(playedPositions(firstFrames, 4), qPrintable(QString::number(firstFrames)));
    QVERIFY2(playedPositions(secondFrames, 3), qPrintable(QString::number(secondFrames)));
}

void MikmodDecoderTest::hundredModulesInARow()
{
    // In one process, libmikmod's state, shared by every module it loaded,
    // gave way after a long series; here each module gets its own.
    MikmodDecoderPlugin decoder = plugin();
    std::vector<float> first, samples;
    for (int i = 0; i < 100; ++i) {
        samples.clear();
        const QByteArray bytes = i % 2 ? songWithTempoChanges() : song(1, QByteArray::number(i));
        AudioStream stream = decoder.open(SourceLocator::data(bytes), {}, DecoderHints());
        QVERIFY(drain(*stream.buffers, &samples) > 0);
        if (i == 1)
            first = samples;
        else if (i % 2)
            QVERIFY2(samples == first, qPrintable(QString::number(i))); // nothing inherited from the ones before
    }
}

void MikmodDecoderTest::extractWhilePlaying()
{
    MikmodDecoderPlugin decoder = plugin();
    std::vector<float> expected, samples;
    QVERIFY(
        playedPositions(drain(*decoder.open(SourceLocator::data(song(2)), {}, DecoderHints()).buffers, &expected), 2));
    // The same song again, with another module's tags read after every block.
    int extracted = 0;
    const qint64 frames = drain(*decoder.open(SourceLocator::data(song(2)), {}, DecoderHints()).buffers, &samples, [&] {
        extracted += decoder.extract(SourceLocator::data(song(1, "Other")), {}).title == "Other";
    });
    QCOMPARE(extracted, frames / 8192);
    QVERIFY(samples == expected);
}

void MikmodDecoderTest::stopEndsTheHelpersWork_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<StopMoment>("moment");

    // An hour of the song mixed before the stream starts: seconds of work.
    QTest::newRow("seek, while the song is mixed ahead") << "seek" << slowSong() << StopMoment::whileAWorkerWorks;
    // Opening at the start and reading tags keep no worker busy: the stop comes first.
    QTest::newRow("open, stopped before") << "open" << song(1) << StopMoment::beforeTheCall;
    QTest::newRow("tag read, stopped before") << "extract" << song(1) << StopMoment::beforeTheCall;
}

void MikmodDecoderTest::stopEndsTheHelpersWork()
{
    QFETCH(QString, operation);
    QFETCH(QByteArray, bytes);
    QFETCH(StopMoment, moment);

    MikmodDecoderPlugin decoder = plugin();
    // Not DecoderStoppedError: the worker was not left to run out of time.
    QCOMPARE(failureWhenStopped(moment, decoder, operation, SourceLocator::data(bytes),
                                double(MikmodRenderer::maximumSeconds)),
             CancellationError().description());
    // The stopped helper is gone and reaped; the plug-in carries on with new ones.
    QVERIFY(playedPositions(drain(*decoder.open(SourceLocator::data(song(2)), {}, DecoderHints()).buffers), 2));
    QCOMPARE(decoder.extract(SourceLocator::data(song(1, "Next")), {}).title, "Next");
    QCOMPARE(zombieChildren(), 0);
}

void MikmodDecoderTest::scanSkipsAStoppedTagReadQuietly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<FileIndexer::Result::Kind>("kind");
    QTest::addColumn<QString>("logged"); // about the file, by the scan

    using Kind = FileIndexer::Result::Kind;
    QTest::newRow("read") << song(1, "Indexed") << false << Kind::single << QString();
    // Not damaged, only not read yet: nothing is said about it.
    QTest::newRow("stopped") << song(1, "Indexed") << true << Kind::skipped << QString();
    QTest::newRow("damaged") << QByteArray(64, 'x') << false << Kind::refused
                             << "Skipping unplayable file: song.mod — Failed to load tracker module: Module format "
                                "not recognized";
}

void MikmodDecoderTest::scanSkipsAStoppedTagReadQuietly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, stopped);
    QFETCH(FileIndexer::Result::Kind, kind);
    QFETCH(QString, logged);

    // The scan reads tracker modules' tags through the composite extractor,
    // which hands the scan's stop on.
    const auto extractor = std::make_shared<CompositeMetadataExtractor>(
        QList<CompositeMetadataExtractor::Entry>{
            {{"mod"}, std::make_shared<MikmodDecoderPlugin>(VESSA_DECODER_HELPER)}},
        nullptr);
    const FileIndexer indexer(extractor, {});
    const QString path = m_files.filePath("song.mod");
    writeFile(path, bytes);
    const FileEntry entry{path, path, "mod", QDateTime()};
    std::stop_source source;
    if (stopped)
        source.request_stop();
    LogCapture log;
    const FileIndexer::Result result = indexer.index(entry, source.get_token());
    QCOMPARE(result.kind, kind);
    QCOMPARE(result.rows.value(0).title, kind == FileIndexer::Result::Kind::single ? "Indexed" : "");
    QCOMPARE(log.messages("com.tornwick.rasko.localfile.scan").filter("song.mod").join(u'\n'), logged);
}

QTEST_GUILESS_MAIN(MikmodDecoderTest)
#include "tst_mikmoddecoder.moc"
