#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "RaskoMikmod/MikmodError.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/mikmod_buffer_driver.h"
#include "tests/support/ModFixture.h"
#include "VessaCore/FileReadError.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

#include <mikmod.h>

using namespace vessa;
using vessa::test::ModFixture;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

constexpr qint64 blockFrames = 8192;
constexpr qint64 patternFrames = ModFixture::patternFrames();
// More than any fixture here plays when it ends as it should.
constexpr qint64 runawayFrames = 40 * patternFrames;

struct Drained {
    qint64 frames = 0;
    bool ended = false;
    std::vector<float> samples; // left and right, interleaved (only when asked for)
};

// Pulls until the stream ends or more than `limit` frames went by.
Drained drain(PcmBufferStream& stream, qint64 limit = runawayFrames, bool keepSamples = false)
{
    Drained result;
    std::stop_source source;
    while (result.frames <= limit) {
        std::optional<PCMBuffer> buffer = stream.next(source.get_token());
        if (!buffer) {
            result.ended = true;
            break;
        }
        if (buffer->format != MikmodDecoderPlugin::streamFormat() || buffer->channelData.size() != 2
            || buffer->channelData[1].size() != buffer->channelData[0].size()) {
            qWarning("buffer of the wrong shape");
            return result;
        }
        if (keepSamples) {
            for (size_t i = 0; i < buffer->channelData[0].size(); ++i) {
                result.samples.push_back(buffer->channelData[0][i]);
                result.samples.push_back(buffer->channelData[1][i]);
            }
        }
        result.frames += buffer->frameCount();
    }
    return result;
}

// The song played to its end: whole positions, then at most the rest of the
// block in which the song ended.
bool playedPositions(const Drained& drained, qint64 positions)
{
    return drained.ended && drained.frames >= positions * patternFrames
        && drained.frames <= positions * patternFrames + 2 * blockFrames;
}

QByteArray moduleWithJump(QList<int> orders, int pattern, int row, int effect, int parameter)
{
    ModFixture fixture = ModFixture::song(0);
    fixture.orders(orders);
    for (int p : orders)
        fixture.note(p, 0, 0, ModFixture::Note{ModFixture::middleC, 1, 0, 0});
    fixture.note(pattern, row, 1, ModFixture::Note{0, 0, effect, parameter});
    return fixture.bytes();
}

// The module type that libmikmod reports for these bytes (the library must be
// initialised already).
QString libraryModuleType(const QByteArray& bytes)
{
    std::lock_guard guard(MikmodLibrary::lock());
    MODULE* module = Player_LoadMem(bytes.constData(), static_cast<int>(bytes.size()), 0, 0);
    if (!module)
        return QStringLiteral("<not loaded>");
    const QString type = QString::fromUtf8(module->modtype);
    Player_Free(module);
    return type;
}

// The first block the library renders for these bytes, as raw 16-bit samples.
std::vector<qint16> renderFirstBlockDirectly(const QByteArray& bytes)
{
    std::lock_guard guard(MikmodLibrary::lock());
    MODULE* module = Player_LoadMem(bytes.constData(), static_cast<int>(bytes.size()), 128, 0);
    if (!module)
        return {};
    Player_Start(module);
    MikMod_Update();
    const auto* data = reinterpret_cast<const qint16*>(mikmod_buffer_get_data());
    std::vector<qint16> block(data, data + mikmod_buffer_get_length() / 2);
    Player_Free(module);
    return block;
}

// Pulls a stream on its own thread, one buffer per permit, as the player does
// under back-pressure; drops the stream when stopped.
class PacedConsumer {
public:
    explicit PacedConsumer(PcmBufferStreamPtr stream)
        : m_thread([this, stream = std::move(stream)](std::stop_token stop) mutable {
              while (true) {
                  {
                      std::unique_lock lock(m_mutex);
                      if (!m_changed.wait(lock, stop, [this] { return m_permits > 0; }))
                          break;
                      --m_permits;
                  }
                  const bool gotBuffer = stream->next(stop).has_value();
                  std::lock_guard lock(m_mutex);
                  if (!gotBuffer) {
                      m_ended = true;
                      m_changed.notify_all();
                      break;
                  }
                  ++m_pulled;
                  m_changed.notify_all();
              }
              stream.reset();
          })
    {
    }

    // Lets the thread pull `count` more buffers and waits (bounded) until it
    // did or its stream ended.
    bool pull(int count)
    {
        std::unique_lock lock(m_mutex);
        const qint64 target = m_pulled + count;
        m_permits += count;
        m_changed.notify_all();
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_pulled >= target || m_ended; });
    }

    bool ended()
    {
        std::lock_guard lock(m_mutex);
        return m_ended;
    }

    // Stops the thread, which drops its stream, and joins it.
    void stop()
    {
        m_thread.request_stop();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    int m_permits = 0;
    qint64 m_pulled = 0;
    bool m_ended = false;
    std::jthread m_thread;
};

} // namespace

class MikmodDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void identity();
    void metadata_data();
    void metadata();
    void metadataFromFile();
    void unreadableInput_data();
    void unreadableInput();
    void streamEndsBySelf_data();
    void streamEndsBySelf();
    void samplesAsTheLibraryMixesThem();
    void loopingModulesEnd_data();
    void loopingModulesEnd();
    void seekGoesToOrderPosition_data();
    void seekGoesToOrderPosition();
    void overlappingStreams_data();
    void overlappingStreams();
    void concurrentStreamsKeepTheirOwnModule();
    void extractWhilePlayingLeavesTheStreamAlone();
};

void MikmodDecoderTest::identity()
{
    MikmodDecoderPlugin plugin;
    QCOMPARE(plugin.name(), QStringLiteral("Mikmod"));
    QCOMPARE(plugin.supportedExtensions().size(), 19);
    QVERIFY(plugin.canDecode(QStringLiteral("MOD")));
    QVERIFY(plugin.canDecode(QStringLiteral("669")));
    QVERIFY(plugin.canDecode(QStringLiteral("m15")));
    QVERIFY(!plugin.canDecode(QStringLiteral("mp3")));
}

void MikmodDecoderTest::metadata_data()
{
    QTest::addColumn<QByteArray>("songName");
    QTest::addColumn<std::optional<QString>>("title");

    QTest::newRow("spaces around") << QByteArray("  Space Race  ") << std::optional<QString>(QStringLiteral("Space Race"));
    QTest::newRow("spaces only") << QByteArray("     ") << std::optional<QString>();
    QTest::newRow("empty") << QByteArray() << std::optional<QString>();
    QTest::newRow("full field") << QByteArray("Twenty characters!!!") << std::optional<QString>(QStringLiteral("Twenty characters!!!"));
}

void MikmodDecoderTest::metadata()
{
    QFETCH(QByteArray, songName);
    QFETCH(std::optional<QString>, title);

    MikmodDecoderPlugin plugin;
    const QByteArray bytes = ModFixture::song(1, songName).bytes();
    const TrackMetadata metadata = plugin.extract(SourceLocator::data(bytes), 7);
    QCOMPARE(metadata.title, title);
    QVERIFY(metadata.album.has_value());
    QCOMPARE(*metadata.album, libraryModuleType(bytes));
    QCOMPARE(metadata.subTrackIndex, std::optional<qint64>(7));
    QVERIFY(!metadata.artist && !metadata.duration && !metadata.artworkData);
    QVERIFY(!metadata.trackNumber && !metadata.discNumber);
}

void MikmodDecoderTest::metadataFromFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("song.mod"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ModFixture::song(1, "On Disk").bytes());
    file.close();

    MikmodDecoderPlugin plugin;
    const TrackMetadata metadata = plugin.extract(SourceLocator::fileURL(path), std::nullopt);
    QCOMPARE(metadata.title, std::optional<QString>(QStringLiteral("On Disk")));
    QVERIFY(!metadata.subTrackIndex);
    AudioStream stream = plugin.open(SourceLocator::fileURL(path), std::nullopt);
    QVERIFY(playedPositions(drain(*stream.buffers), 1));
}

void MikmodDecoderTest::unreadableInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("description");

    QRandomGenerator random(12);
    QByteArray noise(37, '\0');
    for (char& c : noise)
        c = char(random.bounded(256));
    const QString notAModule = QStringLiteral("Failed to load tracker module: Module format not recognized");
    QTest::newRow("random bytes") << noise << notAModule;
    QTest::newRow("text") << QByteArray("#EXTM3U\nsong.mod\n") << notAModule;
    // The library gives no reason for an empty buffer.
    QTest::newRow("empty") << QByteArray() << QStringLiteral("Failed to load tracker module: Unknown error");
}

void MikmodDecoderTest::unreadableInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, description);

    MikmodDecoderPlugin plugin;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            plugin.open(SourceLocator::data(bytes), std::nullopt);
            QFAIL("open succeeded");
        } catch (const MikmodError& error) {
            QCOMPARE(error.kind(), MikmodError::Kind::loadFailed);
            QCOMPARE(error.description(), description);
        }
        try {
            plugin.extract(SourceLocator::data(bytes), std::nullopt);
            QFAIL("extract succeeded");
        } catch (const MikmodError& error) {
            QCOMPARE(error.description(), description);
        }
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("folder.mod"));
    QVERIFY(QDir().mkdir(folder));
    for (const QString& path : {dir.filePath(QStringLiteral("missing.mod")), folder}) {
        try {
            plugin.open(SourceLocator::fileURL(path), std::nullopt);
            QFAIL("open of an unreadable file succeeded");
        } catch (const FileReadError& error) {
            const QString name = QFileInfo(path).fileName();
            QVERIFY2(error.description().startsWith(QStringLiteral("The file \u201C%1\u201D couldn\u2019t be read: ").arg(name)),
                     qPrintable(error.description()));
        }
    }
}

void MikmodDecoderTest::streamEndsBySelf_data()
{
    QTest::addColumn<std::optional<qint64>>("subTrackIndex");
    QTest::addColumn<bool>("infiniteLoop");

    QTest::newRow("plain") << std::optional<qint64>() << false;
    QTest::newRow("sub-track 3") << std::optional<qint64>(3) << false;
    QTest::newRow("endless loop asked for") << std::optional<qint64>() << true;
}

void MikmodDecoderTest::streamEndsBySelf()
{
    QFETCH(std::optional<qint64>, subTrackIndex);
    QFETCH(bool, infiniteLoop);

    MikmodDecoderPlugin plugin;
    AudioStream stream = plugin.open(SourceLocator::data(ModFixture::song(2).bytes()), subTrackIndex,
                                     DecoderHints(infiniteLoop, QStringLiteral("mod")));
    QCOMPARE(stream.format, AudioFormat(44100.0, 2, 4, false));
    QVERIFY(!stream.duration);
    QVERIFY(stream.seek);

    std::stop_source source;
    std::optional<PCMBuffer> first = stream.buffers->next(source.get_token());
    QVERIFY(first);
    QCOMPARE(first->frameCount(), blockFrames);
    // Channel 0 of the format sits on the left.
    double left = 0, right = 0;
    for (qint64 i = 0; i < blockFrames; ++i) {
        left += std::abs(first->channelData[0][static_cast<size_t>(i)]);
        right += std::abs(first->channelData[1][static_cast<size_t>(i)]);
    }
    QVERIFY(left > 100.0);
    QVERIFY(left > right);

    Drained rest = drain(*stream.buffers);
    rest.frames += blockFrames;
    QVERIFY2(playedPositions(rest, 2), qPrintable(QString::number(rest.frames)));
    QVERIFY(!stream.buffers->next(source.get_token()));
}

void MikmodDecoderTest::samplesAsTheLibraryMixesThem()
{
    MikmodDecoderPlugin plugin;
    const QByteArray bytes = ModFixture::song(1).bytes();
    AudioStream stream = plugin.open(SourceLocator::data(bytes), std::nullopt);
    std::stop_source source;
    const std::optional<PCMBuffer> buffer = stream.buffers->next(source.get_token());
    QVERIFY(buffer);
    stream.buffers.reset();

    const std::vector<qint16> raw = renderFirstBlockDirectly(bytes);
    QCOMPARE(qint64(raw.size()), 2 * blockFrames);
    for (size_t i = 0; i < raw.size() / 2; ++i) {
        QCOMPARE(buffer->channelData[0][i], raw[2 * i] / 32768.0f);
        QCOMPARE(buffer->channelData[1][i], raw[2 * i + 1] / 32768.0f);
    }
}

void MikmodDecoderTest::loopingModulesEnd_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("atLeast");
    QTest::addColumn<qint64>("atMost");

    const qint64 row = ModFixture::rowFrames();
    QTest::newRow("last position jumps to itself")
        << moduleWithJump({0, 1}, 1, 32, ModFixture::positionJump, 1) << patternFrames + 32 * row << 3 * patternFrames;
    QTest::newRow("middle position jumps to itself")
        << moduleWithJump({0, 1, 2}, 1, 16, ModFixture::positionJump, 1) << patternFrames + 16 * row
        << 2 * patternFrames + 17 * row + blockFrames;
    QTest::newRow("last position breaks back to the start")
        << moduleWithJump({0, 1}, 1, 32, ModFixture::patternBreak, 0x10) << patternFrames + 32 * row
        << 4 * patternFrames;
    QTest::newRow("last position jumps back to the first")
        << moduleWithJump({0, 1, 2}, 2, 32, ModFixture::positionJump, 0) << 2 * patternFrames + 32 * row
        << 4 * patternFrames;
}

void MikmodDecoderTest::loopingModulesEnd()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, atLeast);
    QFETCH(qint64, atMost);

    MikmodDecoderPlugin plugin;
    AudioStream stream = plugin.open(SourceLocator::data(bytes), std::nullopt);
    const Drained drained = drain(*stream.buffers);
    QVERIFY2(drained.ended, "the stream went on playing");
    QVERIFY2(drained.frames >= atLeast && drained.frames <= atMost, qPrintable(QString::number(drained.frames)));
}

void MikmodDecoderTest::seekGoesToOrderPosition_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("remainingPositions");

    QTest::newRow("10 s: position 5") << 10.0 << qint64(5);
    QTest::newRow("1.9 s: position 0") << 1.9 << qint64(10);
    QTest::newRow("19.9 s: position 9") << 19.9 << qint64(1);
    QTest::newRow("past the last position") << 65.0 << qint64(0);
    QTest::newRow("negative") << -4.0 << qint64(10);
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << qint64(10);
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << qint64(0);
    QTest::newRow("huge") << 1e12 << qint64(0);
}

void MikmodDecoderTest::seekGoesToOrderPosition()
{
    QFETCH(double, seconds);
    QFETCH(qint64, remainingPositions);

    MikmodDecoderPlugin plugin;
    AudioStream stream = plugin.open(SourceLocator::data(ModFixture::song(10).bytes()), std::nullopt);
    std::stop_source source;
    QVERIFY(stream.buffers->next(source.get_token()));

    // The player seeks while the old stream is alive and drops it afterwards.
    PcmBufferStreamPtr seeked = stream.seek(seconds);
    QVERIFY(seeked);
    stream.buffers.reset();
    const Drained drained = drain(*seeked);
    if (remainingPositions == 0)
        QVERIFY(drained.ended && drained.frames == 0);
    else
        QVERIFY2(playedPositions(drained, remainingPositions), qPrintable(QString::number(drained.frames)));
}

void MikmodDecoderTest::overlappingStreams_data()
{
    QTest::addColumn<bool>("secondStartsFirst");

    QTest::newRow("second starts, then first dropped") << true;
    QTest::newRow("first dropped, then second starts") << false;
}

void MikmodDecoderTest::overlappingStreams()
{
    QFETCH(bool, secondStartsFirst);

    MikmodDecoderPlugin plugin;
    PacedConsumer first(plugin.open(SourceLocator::data(ModFixture::song(4).bytes()), std::nullopt).buffers);
    QVERIFY(first.pull(3));
    QVERIFY(!first.ended());

    AudioStream second = plugin.open(SourceLocator::data(ModFixture::song(3).bytes()), std::nullopt);
    std::stop_source source;
    qint64 frames = 0;
    if (secondStartsFirst) {
        std::optional<PCMBuffer> buffer = second.buffers->next(source.get_token());
        QVERIFY(buffer);
        frames += buffer->frameCount();
        // The first stream's module is no longer the current one: it ends
        // instead of rendering the second's.
        QVERIFY(first.pull(1));
        QVERIFY(first.ended());
    } else {
        QVERIFY(first.pull(2));
        QVERIFY(!first.ended());
    }
    first.stop();

    Drained rest = drain(*second.buffers);
    rest.frames += frames;
    QVERIFY2(playedPositions(rest, 3), qPrintable(QString::number(rest.frames)));
}

void MikmodDecoderTest::concurrentStreamsKeepTheirOwnModule()
{
    // Two consumers pull freely at once; whatever the interleaving, the one
    // that started last plays its whole song, and the other never more than its own.
    MikmodDecoderPlugin plugin;
    for (int round = 0; round < 5; ++round) {
        AudioStream older = plugin.open(SourceLocator::data(ModFixture::song(6).bytes()), std::nullopt);
        std::stop_source source;
        QVERIFY(older.buffers->next(source.get_token()));
        Drained olderResult;
        std::jthread olderThread([&] { olderResult = drain(*older.buffers); });

        AudioStream newer = plugin.open(SourceLocator::data(ModFixture::song(2).bytes()), std::nullopt);
        const Drained newerResult = drain(*newer.buffers);
        olderThread.join();
        QVERIFY2(playedPositions(newerResult, 2), qPrintable(QString::number(newerResult.frames)));
        QVERIFY(olderResult.ended);
        QVERIFY(olderResult.frames <= 6 * patternFrames + blockFrames);
    }
}

void MikmodDecoderTest::extractWhilePlayingLeavesTheStreamAlone()
{
    MikmodDecoderPlugin plugin;
    const QByteArray playing = ModFixture::song(2).bytes();
    AudioStream reference = plugin.open(SourceLocator::data(playing), std::nullopt);
    const Drained expected = drain(*reference.buffers, runawayFrames, true);
    QVERIFY(playedPositions(expected, 2));
    reference.buffers.reset();

    AudioStream stream = plugin.open(SourceLocator::data(playing), std::nullopt);
    std::stop_source source;
    std::vector<float> samples;
    for (int i = 0; i < 10; ++i) {
        std::optional<PCMBuffer> buffer = stream.buffers->next(source.get_token());
        QVERIFY(buffer);
        for (size_t f = 0; f < buffer->channelData[0].size(); ++f) {
            samples.push_back(buffer->channelData[0][f]);
            samples.push_back(buffer->channelData[1][f]);
        }
        const TrackMetadata metadata =
            plugin.extract(SourceLocator::data(ModFixture::song(1, "Other").bytes()), std::nullopt);
        QCOMPARE(metadata.title, std::optional<QString>(QStringLiteral("Other")));
    }
    const Drained rest = drain(*stream.buffers, runawayFrames, true);
    samples.insert(samples.end(), rest.samples.begin(), rest.samples.end());
    QCOMPARE(samples.size(), expected.samples.size());
    QVERIFY(samples == expected.samples);
}

QTEST_GUILESS_MAIN(MikmodDecoderTest)
#include "tst_mikmoddecoder.moc"
