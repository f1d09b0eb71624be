#include "RaskoCoreAudio/CoreAudioDecoderError.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "tests/support/FfmpegTool.h"
#include "tests/support/LogCapture.h"
#include "tests/support/WavFixture.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace vessa;
using vessa::test::WavFixture;

namespace {

const QString decodeCategory = QStringLiteral("com.tornwick.rasko.coreaudio.decode");

// Everything a stream hands out, joined, plus the size of each buffer.
struct Decoded {
    std::vector<qint64> chunkSizes;
    std::vector<std::vector<float>> channels;

    qint64 frames() const { return channels.empty() ? 0 : static_cast<qint64>(channels[0].size()); }
};

Decoded drain(PcmBufferStream& stream, const AudioFormat& format)
{
    Decoded decoded;
    decoded.channels.resize(static_cast<std::size_t>(format.channelCount));
    std::stop_source source;
    while (std::optional<PCMBuffer> buffer = stream.next(source.get_token())) {
        if (buffer->format != format || buffer->channelData.size() != decoded.channels.size())
            qFatal("buffer does not have the stream's format");
        decoded.chunkSizes.push_back(buffer->frameCount());
        for (std::size_t c = 0; c < decoded.channels.size(); ++c) {
            if (static_cast<qint64>(buffer->channelData[c].size()) != buffer->frameCount())
                qFatal("channels of unequal length");
            decoded.channels[c].insert(decoded.channels[c].end(), buffer->channelData[c].begin(),
                                       buffer->channelData[c].end());
        }
    }
    return decoded;
}

// Where the decoded samples first differ from the fixture's frames from
// `firstFrame` on; empty when every sample is equal.
QString firstMismatch(const Decoded& decoded, const WavFixture& fixture, qint64 firstFrame = 0)
{
    for (std::size_t c = 0; c < decoded.channels.size(); ++c) {
        for (qint64 i = 0; i < decoded.frames(); ++i) {
            const float expected = fixture.sample(firstFrame + i, static_cast<int>(c));
            if (decoded.channels[c][i] != expected)
                return QStringLiteral("channel %1, frame %2: %3 instead of %4")
                    .arg(c)
                    .arg(i)
                    .arg(decoded.channels[c][i])
                    .arg(expected);
        }
    }
    return {};
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The largest difference between `decoded` from frame 0 and `reference` from `offset`, over `count` frames.
float largestDifference(const Decoded& decoded, const Decoded& reference, qint64 offset, qint64 count)
{
    float largest = 0;
    for (std::size_t c = 0; c < decoded.channels.size(); ++c) {
        for (qint64 i = 0; i < count; ++i)
            largest = std::max(largest, std::abs(decoded.channels[c][i] - reference.channels[c][offset + i]));
    }
    return largest;
}

} // namespace

class CoreAudioDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void identity();
    void chunksOfFixedSize();
    void formatFollowsFile_data();
    void formatFollowsFile();
    void zeroFrameFile();
    void losslessFormatsDecodeExactly_data();
    void losslessFormatsDecodeExactly();
    void lossyFormatsKeepTheirLength_data();
    void lossyFormatsKeepTheirLength();
    void highBitDepthConverted();
    void formatChangeMidStreamConverted();
    void seekToZeroEqualsStart_data();
    void seekToZeroEqualsStart();
    void seekStartsAtWholeFrame_data();
    void seekStartsAtWholeFrame();
    void seekInLossyFormats_data();
    void seekInLossyFormats();
    void seekOddPositions_data();
    void seekOddPositions();
    void droppedStreamsFreeEverything();
    void stopRequestEndsStream();
    void truncatedFileEndsEarly();
    void damagedInputsRefusedOrEndCleanly_data();
    void damagedInputsRefusedOrEndCleanly();
    void inMemoryData_data();
    void inMemoryData();
    void hintsAndSubTrackIgnored();
    void openFailures_data();
    void openFailures();
    void openedLogLine();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    Decoded decodeFile(const QString& name, AudioFormat* format = nullptr);

    QTemporaryDir m_dir;
    CoreAudioDecoderPlugin m_plugin{8192};
    WavFixture m_ramp2s;
    WavFixture m_sine2s;
};

void CoreAudioDecoderTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    WavFixture ramp20000;
    ramp20000.frameCount = 20000;
    QVERIFY(ramp20000.write(path("ramp20000.wav")));
    WavFixture empty;
    QVERIFY(empty.write(path("empty.wav")));
    WavFixture mono;
    mono.channelCount = 1;
    mono.frameCount = 1000;
    QVERIFY(mono.write(path("mono.wav")));
    WavFixture hires;
    hires.sampleRate = 96000;
    hires.frameCount = 5000;
    hires.encoding = WavFixture::Encoding::float32;
    hires.content = WavFixture::Content::sine;
    QVERIFY(hires.write(path("hires.wav")));

    m_ramp2s.frameCount = 88200;
    QVERIFY(m_ramp2s.write(path("ramp2s.wav")));
    m_sine2s.frameCount = 88200;
    m_sine2s.content = WavFixture::Content::sine;
    QVERIFY(m_sine2s.write(path("sine2s.wav")));
    WavFixture sineFloat = m_sine2s;
    sineFloat.encoding = WavFixture::Encoding::float32;
    QVERIFY(sineFloat.write(path("sinefloat.wav")));

    const QString made = test::runFfmpeg({"-i", path("ramp2s.wav"), "-c:a", "flac", path("ramp2s.flac")})
        + test::runFfmpeg({"-i", path("ramp2s.wav"), "-c:a", "alac", path("ramp2s.m4a")})
        + test::runFfmpeg({"-i", path("ramp2s.wav"), "-c:a", "pcm_s16be", path("ramp2s.aiff")})
        + test::runFfmpeg({"-i", path("ramp2s.wav"), "-c:a", "alac", path("ramp2s.caf")})
        + test::runFfmpeg({"-i", path("sine2s.wav"), "-c:a", "libmp3lame", "-b:a", "192k", path("sine2s.mp3")})
        + test::runFfmpeg({"-i", path("sine2s.wav"), "-c:a", "aac", "-b:a", "192k", path("sine2s.m4a")})
        + test::runFfmpeg({"-i", path("sine2s.wav"), "-c:a", "aac", "-b:a", "192k", path("sine2s.aac")})
        + test::runFfmpeg(
            {"-i", path("sinefloat.wav"), "-c:a", "flac", "-sample_fmt", "s32", path("sine24.flac")});
    QVERIFY2(made.isEmpty(), qPrintable(made));
}

Decoded CoreAudioDecoderTest::decodeFile(const QString& name, AudioFormat* format)
{
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
    if (format)
        *format = stream.format;
    return drain(*stream.buffers, stream.format);
}

void CoreAudioDecoderTest::identity()
{
    QCOMPARE(m_plugin.name(), QStringLiteral("CoreAudio"));
    QCOMPARE(m_plugin.supportedExtensions(),
             (QSet<QString>{"mp3", "m4a", "aac", "alac", "wav", "aiff", "aif", "flac", "caf"}));
    QVERIFY(m_plugin.canDecode("FLAC"));
    QVERIFY(!m_plugin.canDecode("ogg"));
    QVERIFY(!m_plugin.canDecode(""));
}

void CoreAudioDecoderTest::chunksOfFixedSize()
{
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path("ramp20000.wav")), std::nullopt);
    QCOMPARE(stream.format, AudioFormat(44100, 2, 4, false));
    QVERIFY(stream.duration);
    QCOMPARE(*stream.duration, 20000.0 / 44100.0);
    QVERIFY(stream.seek);
    const Decoded decoded = drain(*stream.buffers, stream.format);
    QCOMPARE(decoded.chunkSizes, (std::vector<qint64>{8192, 8192, 3616}));
    const QString mismatch = firstMismatch(decoded, WavFixture());
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    std::stop_source source;
    QVERIFY(!stream.buffers->next(source.get_token()));

    CoreAudioDecoderPlugin small(1000);
    AudioStream smallStream = small.open(SourceLocator::fileURL(path("ramp20000.wav")), std::nullopt);
    const Decoded chunks = drain(*smallStream.buffers, smallStream.format);
    QCOMPARE(chunks.chunkSizes, std::vector<qint64>(20, 1000));
}

void CoreAudioDecoderTest::formatFollowsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("isFloat");
    QTest::newRow("mono 16-bit") << "mono.wav" << 44100 << 1 << 1000 << false;
    QTest::newRow("96 kHz float") << "hires.wav" << 96000 << 2 << 5000 << true;
}

void CoreAudioDecoderTest::formatFollowsFile()
{
    QFETCH(QString, name);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, frames);
    QFETCH(bool, isFloat);
    AudioFormat format;
    const Decoded decoded = decodeFile(name, &format);
    QCOMPARE(format, AudioFormat(rate, channels, 4, false));
    QCOMPARE(decoded.frames(), frames);
    WavFixture fixture;
    fixture.sampleRate = rate;
    fixture.channelCount = channels;
    fixture.encoding = isFloat ? WavFixture::Encoding::float32 : WavFixture::Encoding::int16;
    fixture.content = isFloat ? WavFixture::Content::sine : WavFixture::Content::ramp;
    const QString mismatch = firstMismatch(decoded, fixture);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void CoreAudioDecoderTest::zeroFrameFile()
{
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path("empty.wav")), std::nullopt);
    // A WAV header with no samples tells FFmpeg no length at all.
    QVERIFY(!stream.duration || *stream.duration == 0.0);
    std::stop_source source;
    QVERIFY(!stream.buffers->next(source.get_token()));
    QVERIFY(!stream.seek(0.0)->next(source.get_token()));
    QVERIFY(!stream.seek(60.0)->next(source.get_token()));
    QVERIFY(!stream.seek(std::numeric_limits<double>::infinity())->next(source.get_token()));
}

void CoreAudioDecoderTest::losslessFormatsDecodeExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("wav") << "ramp2s.wav";
    QTest::newRow("flac") << "ramp2s.flac";
    QTest::newRow("alac") << "ramp2s.m4a";
}

void CoreAudioDecoderTest::losslessFormatsDecodeExactly()
{
    QFETCH(QString, name);
    AudioFormat format;
    const Decoded decoded = decodeFile(name, &format);
    QCOMPARE(format, AudioFormat::cdQuality());
    QCOMPARE(decoded.frames(), m_ramp2s.frameCount);
    for (std::size_t i = 0; i + 1 < decoded.chunkSizes.size(); ++i)
        QCOMPARE(decoded.chunkSizes[i], 8192);
    const QString mismatch = firstMismatch(decoded, m_ramp2s);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void CoreAudioDecoderTest::lossyFormatsKeepTheirLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("mp3") << "sine2s.mp3";
    QTest::newRow("aac") << "sine2s.m4a";
}

// Encoders add silence before and after the audio; the decoded stream holds
// the original frames, in place, without the encoder's tail.
void CoreAudioDecoderTest::lossyFormatsKeepTheirLength()
{
    QFETCH(QString, name);
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
    QCOMPARE(stream.format, AudioFormat::cdQuality());
    QVERIFY(stream.duration);
    const Decoded decoded = drain(*stream.buffers, stream.format);
    QCOMPARE(decoded.frames(), m_sine2s.frameCount);
    // Root mean square of the coding error; a shift by one frame gives
    // about 0.024 on this sine.
    double squares = 0;
    qint64 count = 0;
    for (int c = 0; c < 2; ++c) {
        for (qint64 frame = 2000; frame < m_sine2s.frameCount - 2000; ++frame, ++count)
            squares += std::pow(decoded.channels[c][frame] - m_sine2s.sample(frame, c), 2);
    }
    const double error = std::sqrt(squares / count);
    QVERIFY2(error < 0.015, qPrintable(QString::number(error)));
}

void CoreAudioDecoderTest::highBitDepthConverted()
{
    WavFixture source = m_sine2s;
    source.encoding = WavFixture::Encoding::float32;
    const Decoded decoded = decodeFile("sine24.flac");
    QCOMPARE(decoded.frames(), source.frameCount);
    for (int c = 0; c < 2; ++c) {
        for (qint64 frame = 0; frame < source.frameCount; ++frame)
            QVERIFY(std::abs(decoded.channels[c][frame] - source.sample(frame, c)) < 1.0f / (1 << 22));
    }
}

// Two MP3 files joined byte by byte: 44.1 kHz stereo, then 22.05 kHz mono.
// Every buffer keeps the stream's one format, and both halves keep their length.
void CoreAudioDecoderTest::formatChangeMidStreamConverted()
{
    const QStringList plain{"-c:a", "libmp3lame", "-write_xing", "0", "-id3v2_version", "0"};
    const QString made
        = test::runFfmpeg(QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1", "-ac", "2"}
                          + plain + QStringList{path("part1.mp3")})
        + test::runFfmpeg(QStringList{"-f", "lavfi", "-i", "sine=frequency=880:sample_rate=22050:duration=1", "-ac", "1"}
                          + plain + QStringList{path("part2.mp3")});
    QVERIFY2(made.isEmpty(), qPrintable(made));
    QFile joined(path("joined.mp3"));
    QVERIFY(joined.open(QIODevice::WriteOnly));
    joined.write(readFile(path("part1.mp3")) + readFile(path("part2.mp3")));
    joined.close();

    AudioFormat format;
    const Decoded decoded = decodeFile("joined.mp3", &format);
    const double seconds = static_cast<double>(decoded.frames()) / format.sampleRate;
    // Each half carries its encoder's delay and padding (no gapless header), a
    // few hundredths of a second; an unconverted half would be off by a second.
    QVERIFY2(std::abs(seconds - 2.0) < 0.2, qPrintable(QString::number(seconds)));
    // Both halves are sound in every channel.
    for (const auto& channel : decoded.channels) {
        const auto loudest = [&](qint64 from, qint64 to) {
            float largest = 0;
            for (qint64 i = from; i < to; ++i)
                largest = std::max(largest, std::abs(channel[i]));
            return largest;
        };
        QVERIFY(loudest(0, decoded.frames() / 2 - 2000) > 0.05f);
        QVERIFY(loudest(decoded.frames() / 2 + 2000, decoded.frames()) > 0.05f);
    }
}

void CoreAudioDecoderTest::seekToZeroEqualsStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("wav") << "ramp2s.wav";
    QTest::newRow("flac") << "ramp2s.flac";
    QTest::newRow("alac") << "ramp2s.m4a";
    QTest::newRow("mp3") << "sine2s.mp3";
    QTest::newRow("aac") << "sine2s.m4a";
}

void CoreAudioDecoderTest::seekToZeroEqualsStart()
{
    QFETCH(QString, name);
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
    const Decoded start = drain(*stream.buffers, stream.format);
    const Decoded seeked = drain(*stream.seek(0.0), stream.format);
    QCOMPARE(seeked.chunkSizes, start.chunkSizes);
    QVERIFY(seeked.channels == start.channels);
}

void CoreAudioDecoderTest::seekStartsAtWholeFrame_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("wav") << "ramp2s.wav";
    QTest::newRow("flac") << "ramp2s.flac";
    QTest::newRow("alac") << "ramp2s.m4a";
}

void CoreAudioDecoderTest::seekStartsAtWholeFrame()
{
    QFETCH(QString, name);
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
    for (const double seconds : {1.00001, 0.5, 1.99998}) {
        const qint64 target = static_cast<qint64>(std::trunc(seconds * 44100));
        const Decoded seeked = drain(*stream.seek(seconds), stream.format);
        QCOMPARE(seeked.frames(), m_ramp2s.frameCount - target);
        QCOMPARE(seeked.chunkSizes.front(), std::min<qint64>(8192, m_ramp2s.frameCount - target));
        for (int c = 0; c < 2; ++c)
            QCOMPARE(WavFixture::rampFrame(seeked.channels[c][0], c), target % 65536);
        const QString mismatch = firstMismatch(seeked, m_ramp2s, target);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
}

void CoreAudioDecoderTest::seekInLossyFormats_data()
{
    lossyFormatsKeepTheirLength_data();
    QTest::newRow("aac without container") << "sine2s.aac";
}

// After a seek a lossy decoder gives, from the exact frame on, what it gives
// when it plays from the start.
void CoreAudioDecoderTest::seekInLossyFormats()
{
    QFETCH(QString, name);
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
    const Decoded whole = drain(*stream.buffers, stream.format);
    for (const double seconds : {1.00001, 0.05, 0.5}) {
        const qint64 target = static_cast<qint64>(std::trunc(seconds * 44100));
        const Decoded seeked = drain(*stream.seek(seconds), stream.format);
        QCOMPARE(seeked.frames(), whole.frames() - target);
        // Up to the end of the sound: a file without a container keeps the
        // encoder's padding, which need not decode alike.
        const qint64 compared = std::min(seeked.frames(), m_sine2s.frameCount - target);
        const float difference = largestDifference(seeked, whole, target, compared);
        QVERIFY2(difference < 1e-3f, qPrintable(QStringLiteral("%1 s: %2").arg(seconds).arg(difference)));
    }
}

void CoreAudioDecoderTest::seekOddPositions_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("frames");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << qint64(88200);
    QTest::newRow("negative") << -3.0 << qint64(88200);
    QTest::newRow("negative infinity") << -std::numeric_limits<double>::infinity() << qint64(88200);
    QTest::newRow("last frame") << 88199.0 / 44100 << qint64(1);
    QTest::newRow("at the end") << 2.0 << qint64(0);
    QTest::newRow("past the end") << 60.0 << qint64(0);
    QTest::newRow("huge") << 1e300 << qint64(0);
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << qint64(0);
}

void CoreAudioDecoderTest::seekOddPositions()
{
    QFETCH(double, seconds);
    QFETCH(qint64, frames);
    for (const QString name : {"ramp2s.wav", "ramp2s.flac"}) {
        AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
        const Decoded seeked = drain(*stream.seek(seconds), stream.format);
        QCOMPARE(seeked.frames(), frames);
        if (frames > 0)
            QCOMPARE(seeked.channels[0].back(), m_ramp2s.sample(88199, 0));
    }
}

void CoreAudioDecoderTest::droppedStreamsFreeEverything()
{
    std::stop_source source;
    for (const QString name : {"ramp2s.flac", "sine2s.mp3", "sine2s.m4a"}) {
        AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
        QVERIFY(stream.buffers->next(source.get_token()));
        stream.buffers.reset();
        PcmBufferStreamPtr seeked = stream.seek(1.0);
        QVERIFY(seeked->next(source.get_token()));
        seeked.reset();
        PcmBufferStreamPtr neverRead = stream.seek(0.5);
        neverRead.reset();
    }
}

void CoreAudioDecoderTest::stopRequestEndsStream()
{
    AudioStream stream = m_plugin.open(SourceLocator::fileURL(path("ramp2s.flac")), std::nullopt);
    std::stop_source running;
    QVERIFY(stream.buffers->next(running.get_token()));
    std::stop_source stopped;
    stopped.request_stop();
    QVERIFY(!stream.buffers->next(stopped.get_token()));
    QVERIFY(!stream.buffers->next(running.get_token()));
}

void CoreAudioDecoderTest::truncatedFileEndsEarly()
{
    const QByteArray whole = readFile(path("ramp2s.flac"));
    QFile truncated(path("truncated.flac"));
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(whole.left(whole.size() * 6 / 10));
    truncated.close();
    AudioFormat format;
    Decoded decoded;
    try {
        decoded = decodeFile("truncated.flac", &format);
    } catch (const std::exception& error) {
        QFAIL(error.what());
    }
    QVERIFY(decoded.frames() > 0);
    QVERIFY(decoded.frames() < m_ramp2s.frameCount);
    const QString mismatch = firstMismatch(decoded, m_ramp2s);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void CoreAudioDecoderTest::damagedInputsRefusedOrEndCleanly_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"ramp2s.wav", "ramp2s.flac", "ramp2s.m4a", "ramp2s.caf", "sine2s.mp3", "sine2s.m4a"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Cut and scrambled copies, read from memory: open refuses them with its
// error, or the stream (and a seek in it) ends without an exception.
void CoreAudioDecoderTest::damagedInputsRefusedOrEndCleanly()
{
    QFETCH(QString, name);
    const QByteArray whole = readFile(path(name));
    QVERIFY(!whole.isEmpty());
    QRandomGenerator random(static_cast<quint32>(whole.size()));
    QList<QByteArray> damaged;
    for (const int percent : {1, 10, 50, 90})
        damaged.append(whole.left(whole.size() * percent / 100));
    for (int copy = 0; copy < 4; ++copy) {
        QByteArray scrambled = whole;
        const qsizetype from = copy == 0 ? 0 : random.bounded(scrambled.size());
        for (qsizetype i = from; i < std::min(scrambled.size(), from + 64); ++i)
            scrambled[i] = static_cast<char>(random.bounded(256));
        damaged.append(scrambled);
    }
    QByteArray noise(4096, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(random.bounded(256));
    damaged.append(noise);

    for (const QByteArray& bytes : std::as_const(damaged)) {
        try {
            AudioStream stream = m_plugin.open(SourceLocator::data(bytes), std::nullopt);
            drain(*stream.buffers, stream.format);
            drain(*stream.seek(1.0), stream.format);
        } catch (const CoreAudioDecoderError& error) {
            QCOMPARE(error.kind(), CoreAudioDecoderError::Kind::openFailed);
        }
    }
}

void CoreAudioDecoderTest::inMemoryData_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("wav") << "ramp2s.wav";
    QTest::newRow("flac") << "ramp2s.flac";
}

// Members of ZIP archives arrive as bytes; they decode and seek like files.
void CoreAudioDecoderTest::inMemoryData()
{
    QFETCH(QString, name);
    AudioStream stream = m_plugin.open(SourceLocator::data(readFile(path(name))), std::nullopt);
    QCOMPARE(stream.format, AudioFormat::cdQuality());
    QCOMPARE(stream.duration, std::optional<double>(2.0));
    const Decoded decoded = drain(*stream.buffers, stream.format);
    QCOMPARE(decoded.frames(), m_ramp2s.frameCount);
    const QString mismatch = firstMismatch(decoded, m_ramp2s);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    const Decoded seeked = drain(*stream.seek(1.5), stream.format);
    QCOMPARE(seeked.frames(), 88200 - 66150);
    QCOMPARE(WavFixture::rampFrame(seeked.channels[1][0], 1), 66150 % 65536);
}

void CoreAudioDecoderTest::hintsAndSubTrackIgnored()
{
    const SourceLocator locator = SourceLocator::fileURL(path("ramp20000.wav"));
    AudioStream stream = m_plugin.open(locator, 3, DecoderHints(true, QStringLiteral("mp3")));
    QCOMPARE(drain(*stream.buffers, stream.format).chunkSizes, (std::vector<qint64>{8192, 8192, 3616}));
}

void CoreAudioDecoderTest::openFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing.mp3" << QByteArray() << "No such file or directory";
    QTest::newRow("text") << "notes.mp3" << QByteArray("These are not the sounds you are looking for.\n").repeated(50)
                          << "";
    QTest::newRow("empty") << "nothing.flac" << QByteArray("") << "";
    QTest::newRow("header only") << "cut.wav" << WavFixture().bytes().left(20) << "";
}

void CoreAudioDecoderTest::openFailures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    if (name != "missing.mp3") {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    test::LogCapture log;
    try {
        m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
        QFAIL("open succeeded");
    } catch (const CoreAudioDecoderError& error) {
        QCOMPARE(error.kind(), CoreAudioDecoderError::Kind::openFailed);
        QVERIFY(!error.message().isEmpty());
        if (!message.isEmpty())
            QCOMPARE(error.message(), message);
        QCOMPARE(error.description(), QStringLiteral("Could not open audio file: ") + name + ": " + error.message());
        QCOMPARE(log.messages(decodeCategory),
                 QStringList{QStringLiteral("Failed to open ") + path(name) + ": " + error.message()});
    }
    if (!content.isEmpty()) {
        // The same bytes in memory fail the same way.
        QVERIFY_THROWS_EXCEPTION(CoreAudioDecoderError,
                                 m_plugin.open(SourceLocator::data(content), std::nullopt));
    }
}

void CoreAudioDecoderTest::openedLogLine()
{
    test::LogCapture log;
    m_plugin.open(SourceLocator::fileURL(path("hires.wav")), std::nullopt);
    m_plugin.open(SourceLocator::data(readFile(path("mono.wav"))), std::nullopt);
    QCOMPARE(log.messages(decodeCategory), (QStringList{"Opened: hires.wav, 96000.000000Hz, 2ch",
                                                        "Opened: in-memory data, 44100.000000Hz, 1ch"}));
}

QTEST_GUILESS_MAIN(CoreAudioDecoderTest)
#include "tst_coreaudiodecoder.moc"
