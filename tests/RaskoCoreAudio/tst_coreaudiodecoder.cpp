#include "RaskoCoreAudio/CoreAudioDecoderError.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoCoreAudio/TagNumber.h"
#include "tests/support/FfmpegTool.h"
#include "tests/support/LogCapture.h"
#include "tests/support/WavFixture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace vessa;
using vessa::test::WavFixture;

namespace {

const QString decodeCategory = QStringLiteral("com.tornwick.rasko.coreaudio.decode");
const WavFixture ramp2s{44100, 2, 88200};
const WavFixture sine2s{44100, 2, 88200, WavFixture::Content::sine};

// Everything a stream hands out, joined per channel. `regular`: every buffer
// has the stream's format, and all but the last hold exactly 8192 frames.
struct Decoded {
    std::vector<std::vector<float>> channels;
    bool regular = true;

    qint64 frames() const { return channels.empty() ? 0 : static_cast<qint64>(channels[0].size()); }
};

Decoded drain(PcmBufferStream& stream, const AudioFormat& format)
{
    Decoded decoded{std::vector<std::vector<float>>(format.channelCount)};
    qint64 previous = 8192;
    std::stop_source source;
    while (std::optional<PCMBuffer> buffer = stream.next(source.get_token())) {
        decoded.regular = decoded.regular && previous == 8192 && buffer->format == format
                          && buffer->channelData.size() == decoded.channels.size() && buffer->frameCount() > 0;
        previous = buffer->frameCount();
        for (std::size_t c = 0; c < std::min(decoded.channels.size(), buffer->channelData.size()); ++c)
            decoded.channels[c].insert(decoded.channels[c].end(), buffer->channelData[c].begin(),
                                       buffer->channelData[c].end());
    }
    return decoded;
}

Decoded fromFixture(const WavFixture& fixture)
{
    Decoded decoded{std::vector<std::vector<float>>(fixture.channelCount)};
    for (int c = 0; c < fixture.channelCount; ++c) {
        for (qint64 frame = 0; frame < fixture.frameCount; ++frame)
            decoded.channels[c].push_back(fixture.sample(frame, c));
    }
    return decoded;
}

// The root mean square of the difference between `decoded` and `reference`
// from frame `offset` on, over `count` frames of every channel.
double difference(const Decoded& decoded, const Decoded& reference, qint64 offset, qint64 count)
{
    if (decoded.channels.size() != reference.channels.size() || decoded.frames() < count
        || reference.frames() < offset + count)
        return std::numeric_limits<double>::infinity();
    double squares = 0;
    for (std::size_t c = 0; c < decoded.channels.size(); ++c) {
        for (qint64 i = 0; i < count; ++i)
            squares += std::pow(decoded.channels[c][i] - reference.channels[c][offset + i], 2);
    }
    return count ? std::sqrt(squares / static_cast<double>(count)) : 0.0;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class CoreAudioDecoderTest : public QObject {
    Q_OBJECT

    QString path(const QString& name) const { return m_dir.filePath(name); }
    SourceLocator locator(const QString& name, bool inMemory = false) const
    {
        return inMemory ? SourceLocator::data(readFile(path(name))) : SourceLocator::fileURL(path(name));
    }

    QTemporaryDir m_dir;
    CoreAudioDecoderPlugin m_plugin{8192};

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(WavFixture({44100, 2, 20000}).write(path("ramp20000.wav")));
        QVERIFY(WavFixture({44100, 2, 0}).write(path("empty.wav")));
        QVERIFY(WavFixture({44100, 1, 1000}).write(path("mono.wav")));
        QVERIFY(WavFixture({44100, 1, 1000}).write(path("100%1 mono.wav")));
        QVERIFY(WavFixture({96000, 2, 5000}).write(path("hires.wav")));
        QVERIFY(WavFixture({48000, 2, 44100}).write(path("plain48k.wav")));
        QVERIFY(ramp2s.write(path("ramp.wav")) && sine2s.write(path("sine.wav")));

        const QStringList tags{"-metadata",      "title=Título", "-metadata",  "artist=The Artist", "-metadata",
                               "album=An Album", "-metadata",    "track=3/12", "-metadata",         "disc=2"};
        // A tagged copy of the sine with one attached picture per cover named.
        const auto tagged = [&](const QString& codec, const QString& out, const QStringList& covers) {
            QStringList inputs{"-i", path("sine.wav")};
            QStringList maps{"-map", "0"};
            for (int i = 0; i < covers.size(); ++i) {
                inputs << "-i" << path(covers[i] + ".png");
                maps << "-map" << QString::number(i + 1) << QStringLiteral("-metadata:s:v:%1").arg(i)
                     << QStringLiteral("comment=Cover (%1)").arg(covers[i]);
            }
            return inputs + maps + tags
                   + QStringList{"-c:a", codec, "-c:v", "copy", "-disposition:v", "attached_pic", path(out)};
        };
        const QStringList mp3Part{"-c:a", "libmp3lame", "-write_xing", "0", "-id3v2_version", "0"};
        const QList<QStringList> commands{
            {"-i", path("ramp.wav"), "-c:a", "flac", path("ramp.flac")},
            {"-i", path("ramp.wav"), "-c:a", "flac", "-sample_fmt", "s32", path("ramp24.flac")},
            {"-i", path("ramp.wav"), "-c:a", "alac", path("ramp.m4a")},
            {"-i", path("ramp.wav"), "-c:a", "pcm_s16be", path("ramp.aiff")},
            {"-i", path("ramp.wav"), "-c:a", "alac", path("ramp.caf")},
            {"-i", path("sine.wav"), "-c:a", "libmp3lame", "-b:a", "192k", path("sine.mp3")},
            {"-i", path("sine.wav"), "-c:a", "aac", "-b:a", "192k", path("sine.m4a")},
            {"-i", path("sine.wav"), "-c:a", "aac", "-b:a", "192k", path("sine.aac")},
            // Loud noise, then silence: a bit rate taken from the start says
            // nothing about the length.
            {"-f", "lavfi", "-i", "anoisesrc=d=2:a=0.5:r=44100,apad=whole_dur=9", "-c:a", "aac", "-b:a", "192k",
             path("noise-then-silence.aac")},
            QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1", "-ac", "2"} + mp3Part
                + QStringList{path("part1.mp3")},
            QStringList{"-f", "lavfi", "-i", "sine=frequency=880:sample_rate=22050:duration=1", "-ac", "1"} + mp3Part
                + QStringList{path("part2.mp3")},
            {"-i", path("mono.wav"), "-metadata", "title=X", "-metadata", "artist=Artist", "-metadata", "album=Album",
             path("info.wav")},
            {"-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1", path("front.png")},
            {"-f", "lavfi", "-i", "color=c=blue:s=8x8", "-frames:v", "1", path("back.png")},
            tagged("flac", "tagged.flac", {"front"}),
            tagged("aac", "tagged-aac.m4a", {"front"}),
            tagged("alac", "tagged-alac.m4a", {"front"}),
            tagged("libmp3lame", "tagged.mp3", {"front"}),
            tagged("libmp3lame", "two-covers.mp3", {"back", "front"})};
        for (const QStringList& arguments : commands) {
            const QString failure = test::runFfmpeg(arguments);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
        // Two MP3 files joined byte by byte: 44.1 kHz stereo, then 22.05 kHz mono.
        QVERIFY(writeFile(path("joined.mp3"), readFile(path("part1.mp3")) + readFile(path("part2.mp3"))));
        // Blank out the title of the WAV's INFO chunk: an empty tag value.
        QByteArray info = readFile(path("info.wav"));
        const QByteArray title("INAM\2\0\0\0X", 9);
        QVERIFY(info.contains(title));
        QVERIFY(writeFile(path("info.wav"), info.replace(title, QByteArray("INAM\2\0\0\0\0", 9))));
    }

    void identity()
    {
        QCOMPARE(m_plugin.name(), QStringLiteral("CoreAudio"));
        QCOMPARE(m_plugin.supportedExtensions(),
                 (QSet<QString>{"mp3", "m4a", "aac", "alac", "wav", "aiff", "aif", "flac", "caf"}));
        QVERIFY(m_plugin.canDecode("FLAC") && !m_plugin.canDecode("ogg"));
    }

    void decodesWholeFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("inMemory");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("frames");
        QTest::newRow("20000 frames in three chunks") << "ramp20000.wav" << false << 44100 << 2 << qint64(20000);
        QTest::newRow("zero frames") << "empty.wav" << false << 44100 << 2 << qint64(0);
        QTest::newRow("mono, \"%1\" in the name") << "100%1 mono.wav" << false << 44100 << 1 << qint64(1000);
        QTest::newRow("96 kHz") << "hires.wav" << false << 96000 << 2 << qint64(5000);
        for (const char* name :
             {"ramp.flac", "ramp24.flac", "ramp.m4a", "ramp.aiff", "ramp.caf", "sine.mp3", "sine.m4a"})
            QTest::newRow(name) << name << false << 44100 << 2 << qint64(88200);
        // Members of ZIP archives arrive as bytes.
        QTest::newRow("wav in memory") << "ramp.wav" << true << 44100 << 2 << qint64(88200);
        QTest::newRow("flac in memory") << "ramp.flac" << true << 44100 << 2 << qint64(88200);
    }

    void decodesWholeFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, inMemory);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(qint64, frames);
        test::LogCapture log;
        // The sub-track index and the hints are ignored.
        AudioStream stream = m_plugin.open(locator(name, inMemory), 3, DecoderHints(true, QStringLiteral("mp3")));
        QCOMPARE(stream.format, AudioFormat(rate, channels, 4, false));
        QCOMPARE(log.messages(decodeCategory), QStringList{QStringLiteral("Opened: %1, %2.000000Hz, %3ch")
                                                               .arg(inMemory ? QStringLiteral("in-memory data") : name,
                                                                    QString::number(rate), QString::number(channels))});
        QVERIFY(stream.seek);
        const Decoded decoded = drain(*stream.buffers, stream.format);
        QVERIFY(decoded.regular);
        QCOMPARE(decoded.frames(), frames);
        // A WAV header without samples gives no length at all; CAF and lossy
        // files count whole packets.
        const double length = static_cast<double>(frames) / rate;
        const double slack = name.endsWith(".wav") || name.endsWith(".flac") ? 0.0 : 0.05;
        QVERIFY(frames == 0 ? stream.duration.value_or(0) == 0
                            : std::abs(stream.duration.value_or(-1) - length) <= slack);
        // Lossy encoders add silence before and after the audio; the stream holds
        // the original frames in place (a shift by one frame gives 0.024).
        const bool lossy = name.startsWith("sine");
        const WavFixture source = lossy ? sine2s : WavFixture{rate, channels, frames};
        const double error = difference(decoded, fromFixture(source), 0, frames);
        QVERIFY2(lossy ? error < 0.015 : error == 0.0, qPrintable(QString::number(error)));
    }

    void seeks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("inMemory");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint64>("startFrame");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double infinity = std::numeric_limits<double>::infinity();
        const auto add = [](const char* name, bool inMemory, double seconds, qint64 startFrame) {
            QTest::addRow("%s%s at %g s", name, inMemory ? " in memory" : "", seconds)
                << QString::fromLatin1(name) << inMemory << seconds << startFrame;
        };
        for (const char* name : {"ramp.wav", "ramp.flac"}) {
            for (const double seconds : {0.0, 1.00001, 0.5, 88199.0 / 44100, -3.0, -infinity, nan})
                add(name, false, seconds, std::isnan(seconds) || seconds < 0 ? 0 : qint64(seconds * 44100));
            for (const double seconds : {2.0, 60.0, 1e300, infinity})
                add(name, false, seconds, 88200);
            add(name, true, 1.5, 66150);
        }
        for (const char* name : {"ramp.m4a", "sine.mp3", "sine.m4a", "sine.aac"}) {
            for (const double seconds : {0.0, 0.05, 1.00001})
                add(name, false, seconds, qint64(seconds * 44100));
        }
        add("empty.wav", false, 60.0, 0);
    }

    // A seek gives, from the exact frame trunc(seconds x rate) on, what the
    // stream gives from the start; lossy decoders within their coding error.
    void seeks()
    {
        QFETCH(QString, name);
        QFETCH(bool, inMemory);
        QFETCH(double, seconds);
        QFETCH(qint64, startFrame);
        AudioStream stream = m_plugin.open(locator(name, inMemory), std::nullopt, DecoderHints());
        const Decoded whole = drain(*stream.buffers, stream.format);
        const Decoded seeked = drain(*stream.seek(seconds, {}), stream.format);
        QVERIFY(seeked.regular);
        QCOMPARE(seeked.frames(), std::max<qint64>(0, whole.frames() - startFrame));
        // Up to the end of the sound: AAC without a container keeps the encoder's
        // padding, which need not decode alike.
        const qint64 compared = std::min(seeked.frames(), std::max<qint64>(0, 88200 - startFrame));
        const bool ramp = name.startsWith("ramp");
        const double error = difference(seeked, whole, startFrame, compared);
        QVERIFY2(ramp || startFrame == 0 ? error == 0.0 : error < 1e-4, qPrintable(QString::number(error)));
        if (ramp) // each ramp sample tells its frame number
            QCOMPARE(difference(seeked, fromFixture(ramp2s), startFrame, compared), 0.0);
    }

    // Every buffer keeps the stream's one format, and both halves their length.
    void formatChangeMidStreamConverted()
    {
        AudioStream stream = m_plugin.open(locator("joined.mp3"), std::nullopt, DecoderHints());
        const Decoded decoded = drain(*stream.buffers, stream.format);
        QVERIFY(decoded.regular);
        // Each half carries its encoder's delay and padding, a few hundredths of
        // a second; an unconverted half would be off by a second.
        const double seconds = static_cast<double>(decoded.frames()) / stream.format.sampleRate;
        QVERIFY2(std::abs(seconds - 2.0) < 0.2, qPrintable(QString::number(seconds)));
        const qint64 half = decoded.frames() / 2;
        for (const auto& channel : decoded.channels) {
            QVERIFY(*std::max_element(channel.begin() + 1000, channel.begin() + half - 2000) > 0.05f);
            QVERIFY(*std::max_element(channel.begin() + half + 2000, channel.end() - 1000) > 0.05f);
        }
    }

    void droppedAndStoppedStreams()
    {
        std::stop_source running;
        std::stop_source stopped;
        stopped.request_stop();
        for (const char* name : {"ramp.flac", "sine.mp3", "sine.m4a"}) {
            AudioStream stream = m_plugin.open(locator(name), std::nullopt, DecoderHints());
            QVERIFY(stream.buffers->next(running.get_token()));
            // A stop request ends the stream for good.
            QVERIFY(!stream.buffers->next(stopped.get_token()));
            QVERIFY(!stream.buffers->next(running.get_token()));
            // Dropped mid-way or unread: the sanitizer build checks that all is freed.
            PcmBufferStreamPtr seeked = stream.seek(1.0, {});
            QVERIFY(seeked->next(running.get_token()));
            seeked.reset();
            stream.seek(0.5, {}).reset();
        }
    }

    void truncatedFileEndsEarly_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"ramp.wav", "ramp.flac", "sine.mp3"})
            QTest::newRow(name) << name;
    }

    // A file cut short ends early, without an exception, the audio before the
    // cut intact.
    void truncatedFileEndsEarly()
    {
        QFETCH(QString, name);
        const QByteArray whole = readFile(path(name));
        QVERIFY(writeFile(path("cut-" + name), whole.left(whole.size() * 6 / 10)));
        try {
            AudioStream stream = m_plugin.open(locator("cut-" + name), std::nullopt, DecoderHints());
            const Decoded decoded = drain(*stream.buffers, stream.format);
            QVERIFY(decoded.frames() > 0 && decoded.frames() < 88200);
            if (name.startsWith("ramp"))
                QCOMPARE(difference(decoded, fromFixture(ramp2s), 0, decoded.frames()), 0.0);
        } catch (const std::exception& error) {
            QFAIL(error.what());
        }
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << "missing.mp3" << QByteArray();
        QTest::newRow("text named mp3") << "notes.mp3" << QByteArray("Not a sound at all.\n").repeated(50);
        QTest::newRow("empty") << "nothing.flac" << QByteArray();
        QTest::newRow("header only") << "cut.wav" << WavFixture().bytes().left(20);
        QTest::newRow("image named m4a") << "picture.m4a" << readFile(path("front.png"));
    }

    void openFailures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const bool missing = name == "missing.mp3";
        if (!missing)
            QVERIFY(writeFile(path(name), content));
        test::LogCapture log;
        try {
            m_plugin.open(locator(name), std::nullopt, DecoderHints());
            QFAIL("open succeeded");
        } catch (const CoreAudioDecoderError& error) {
            QCOMPARE(error.kind(), CoreAudioDecoderError::Kind::openFailed);
            QVERIFY(missing ? error.message() == "No such file or directory" : !error.message().isEmpty());
            QCOMPARE(error.description(), "Could not open audio file: " + name + ": " + error.message());
            QCOMPARE(log.messages(decodeCategory),
                     QStringList{QStringLiteral("Failed to open ") + path(name) + ": " + error.message()});
        }
        // Only what plays is indexed: extract fails too, logging nothing (the caller reports).
        log.clear();
        QVERIFY_THROWS_EXCEPTION(CoreAudioDecoderError, m_plugin.extract(locator(name), std::nullopt));
        QVERIFY(log.messages(decodeCategory).isEmpty());
        if (!content.isEmpty())
            QVERIFY_THROWS_EXCEPTION(CoreAudioDecoderError,
                                     m_plugin.open(SourceLocator::data(content), std::nullopt, DecoderHints()));
    }

    // A raw ADTS stream has no length in any header, and FFmpeg estimates one
    // from the bit rate; the tag reader and the opened stream count the
    // packets instead, so the listed length is the stream's to within a frame
    // and the decoded one to within one AAC frame.
    void adtsLengthIsCounted_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("inMemory");
        QTest::newRow("steady") << "sine.aac" << false;
        QTest::newRow("noise then silence") << "noise-then-silence.aac" << false;
        QTest::newRow("in memory") << "noise-then-silence.aac" << true;
    }

    void adtsLengthIsCounted()
    {
        QFETCH(QString, name);
        QFETCH(bool, inMemory);
        const std::optional<double> listed = m_plugin.extract(locator(name, inMemory), std::nullopt).duration;
        QVERIFY(listed);
        AudioStream stream = m_plugin.open(locator(name, inMemory), std::nullopt, DecoderHints());
        const qint64 decoded = drain(*stream.buffers, stream.format).frames();
        QVERIFY2(std::abs(*listed * 44100 - double(decoded)) <= 1024,
                 qPrintable(QStringLiteral("listed %1 s, decoded %2 frames").arg(*listed).arg(decoded)));
        QVERIFY2(std::abs(stream.duration.value_or(0) - *listed) * 44100 <= 1,
                 qPrintable(QStringLiteral("listed %1 s, stream %2 s").arg(*listed).arg(stream.duration.value_or(0))));
    }

    // A WAV whose header claims 4 GiB of samples but holds none plays nothing,
    // so it is not listed: reading its tags fails.
    void fileWithoutAudioGivesNoTags_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray lying = WavFixture({44100, 2, 0}).bytes();
        QVERIFY(lying.size() == 44 && lying.mid(36, 4) == "data");
        lying.replace(4, 4, QByteArray(4, '\xff'));
        lying.replace(40, 4, QByteArray(4, '\xff'));
        QTest::newRow("lying header") << lying;
        QTest::newRow("empty data") << WavFixture({44100, 2, 0}).bytes();
    }

    void fileWithoutAudioGivesNoTags()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeFile(path("no-audio.wav"), content));
        for (const SourceLocator& where : {locator("no-audio.wav"), SourceLocator::data(content)}) {
            try {
                m_plugin.extract(where, std::nullopt);
                QFAIL("tags were read");
            } catch (const CoreAudioDecoderError& error) {
                QCOMPARE(error.kind(), CoreAudioDecoderError::Kind::openFailed);
            }
        }
    }

    void tagNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint64>>("number");
        const std::pair<const char*, std::optional<qint64>> cases[]{
            {"3/12", 3},
            {"03", 3},
            {"/12", 12},
            {"+3", 3},
            {"-1", -1},
            {"//7//9", 7},
            {"9223372036854775807", std::numeric_limits<qint64>::max()},
            {"9223372036854775808", {}},
            {"", {}},
            {"//", {}},
            {" 3", {}},
            {"3 /12", {}},
            {"A/12", {}}};
        for (const auto& [text, number] : cases)
            QTest::addRow("'%s'", text) << QString::fromLatin1(text) << number;
    }

    void tagNumbers()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<qint64>, number);
        QCOMPARE(parseTagNumber(text), number);
    }

    void tags_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("inMemory");
        QTest::addColumn<TrackMetadata>("expected");
        const TrackMetadata full{.title = "Título",
                                 .artist = "The Artist",
                                 .album = "An Album",
                                 .duration = 2.0,
                                 .artworkData = readFile(path("front.png")),
                                 .subTrackIndex = 2,
                                 .trackNumber = 3,
                                 .discNumber = 2};
        for (const char* name : {"tagged.flac", "tagged-aac.m4a", "tagged-alac.m4a", "tagged.mp3", "two-covers.mp3"})
            QTest::newRow(name) << name << false << full;
        QTest::newRow("empty title") << "info.wav" << false
                                     << TrackMetadata{.artist = "Artist",
                                                      .album = "Album",
                                                      .duration = 1000.0 / 44100,
                                                      .subTrackIndex = 2};
        QTest::newRow("tagless") << "plain48k.wav" << false << TrackMetadata{.duration = 0.91875, .subTrackIndex = 2};
        // Archive members are read from memory, tags and all.
        for (const char* name : {"tagged.flac", "tagged-aac.m4a", "tagged.mp3"})
            QTest::addRow("in memory %s", name) << name << true << full;
    }

    // Every row asks for sub-track 2, which is kept.
    void tags()
    {
        QFETCH(QString, name);
        QFETCH(bool, inMemory);
        QFETCH(TrackMetadata, expected);
        const TrackMetadata metadata = m_plugin.extract(locator(name, inMemory), 2);
        if (expected.duration) {
            // Lossy encoders round the length up to whole packets; open tells the same.
            const double slack = name.endsWith(".mp3") || name.endsWith(".m4a") ? 0.05 : 0.0;
            QVERIFY(std::abs(metadata.duration.value_or(-1) - *expected.duration) <= slack);
            QCOMPARE(m_plugin.open(locator(name, inMemory), std::nullopt, DecoderHints()).duration, metadata.duration);
            expected.duration = metadata.duration;
        }
        QCOMPARE(metadata, expected);
    }
};

QTEST_GUILESS_MAIN(CoreAudioDecoderTest)
#include "tst_coreaudiodecoder.moc"
