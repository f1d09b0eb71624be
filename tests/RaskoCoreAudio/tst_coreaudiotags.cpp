#include "RaskoCoreAudio/CoreAudioDecoderError.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoCoreAudio/TagNumber.h"
#include "tests/support/FfmpegTool.h"
#include "tests/support/LogCapture.h"
#include "tests/support/WavFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace vessa;
using vessa::test::WavFixture;

namespace {

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

QByteArray riffChunk(const QByteArray& id, const QByteArray& payload)
{
    char size[4];
    qToLittleEndian(static_cast<quint32>(payload.size()), size);
    QByteArray chunk = id + QByteArray(size, 4) + payload;
    if (payload.size() % 2)
        chunk += '\0';
    return chunk;
}

// A 16-bit WAV with a LIST/INFO chunk in front of its samples.
QByteArray wavWithInfo(const WavFixture& fixture, const QByteArray& info)
{
    QByteArray bytes = fixture.bytes();
    bytes.insert(36, riffChunk("LIST", "INFO" + info));
    qToLittleEndian(static_cast<quint32>(bytes.size() - 8), bytes.data() + 4);
    return bytes;
}

} // namespace

class CoreAudioTagsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void tagNumbers_data();
    void tagNumbers();
    void taggedFormats_data();
    void taggedFormats();
    void frontCoverPreferred();
    void taglessFileGivesDuration_data();
    void taglessFileGivesDuration();
    void emptyTagValuesAreAbsent();
    void undecodableFilesFail_data();
    void undecodableFilesFail();
    void inMemoryDataHasNoTags();
    void concurrentCallsAgree();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    CoreAudioDecoderPlugin m_plugin{8192};
};

void CoreAudioTagsTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    WavFixture tone;
    tone.frameCount = 44100;
    tone.content = WavFixture::Content::sine;
    QVERIFY(tone.write(path("tone.wav")));

    const QStringList tags{"-metadata", "title=Título", "-metadata", "artist=The Artist", "-metadata",
                           "album=An Album",  "-metadata", "track=3/12",        "-metadata", "disc=2"};
    auto withCover = [&](const QString& codec, const QString& out) {
        return QStringList{"-i", path("tone.wav"), "-i", path("front.png"), "-map", "0", "-map", "1", "-c:a", codec,
                           "-c:v", "copy", "-disposition:v", "attached_pic", "-metadata:s:v", "comment=Cover (front)"}
            + tags + QStringList{path(out)};
    };
    QString made = test::runFfmpeg({"-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1", path("front.png")})
        + test::runFfmpeg({"-f", "lavfi", "-i", "color=c=blue:s=8x8", "-frames:v", "1", path("back.png")});
    QVERIFY2(made.isEmpty(), qPrintable(made));
    made = test::runFfmpeg(withCover("flac", "tagged.flac")) + test::runFfmpeg(withCover("aac", "tagged-aac.m4a"))
        + test::runFfmpeg(withCover("alac", "tagged-alac.m4a"))
        + test::runFfmpeg(withCover("libmp3lame", "tagged.mp3"))
        + test::runFfmpeg({"-i", path("tone.wav"), "-i", path("back.png"), "-i", path("front.png"), "-map", "0", "-map",
                           "1", "-map", "2", "-c:a", "libmp3lame", "-c:v", "copy", "-disposition:v", "attached_pic",
                           "-metadata:s:v:0", "comment=Cover (back)", "-metadata:s:v:1", "comment=Cover (front)",
                           path("two-covers.mp3")});
    QVERIFY2(made.isEmpty(), qPrintable(made));
}

void CoreAudioTagsTest::tagNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint64>>("number");
    const std::optional<qint64> none;
    QTest::newRow("track of total") << "3/12" << std::optional<qint64>(3);
    QTest::newRow("leading zero") << "03" << std::optional<qint64>(3);
    QTest::newRow("total only") << "/12" << std::optional<qint64>(12);
    QTest::newRow("plus") << "+3" << std::optional<qint64>(3);
    QTest::newRow("minus") << "-1" << std::optional<qint64>(-1);
    QTest::newRow("plain") << "3" << std::optional<qint64>(3);
    QTest::newRow("many slashes") << "//7//9" << std::optional<qint64>(7);
    QTest::newRow("empty") << "" << none;
    QTest::newRow("slashes only") << "//" << none;
    QTest::newRow("leading space") << " 3" << none;
    QTest::newRow("inner space") << "3 /12" << none;
    QTest::newRow("letter") << "A/12" << none;
    QTest::newRow("too large") << "9223372036854775808" << none;
    QTest::newRow("largest") << "9223372036854775807" << std::optional<qint64>(9223372036854775807LL);
}

void CoreAudioTagsTest::tagNumbers()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint64>, number);
    QCOMPARE(parseTagNumber(text), number);
}

void CoreAudioTagsTest::taggedFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("flac") << "tagged.flac";
    QTest::newRow("m4a aac") << "tagged-aac.m4a";
    QTest::newRow("m4a alac") << "tagged-alac.m4a";
    QTest::newRow("mp3") << "tagged.mp3";
}

void CoreAudioTagsTest::taggedFormats()
{
    QFETCH(QString, name);
    test::LogCapture log;
    const TrackMetadata metadata = m_plugin.extract(SourceLocator::fileURL(path(name)), std::nullopt);
    QCOMPARE(metadata.title, std::optional<QString>(QStringLiteral("Título")));
    QCOMPARE(metadata.artist, std::optional<QString>(QStringLiteral("The Artist")));
    QCOMPARE(metadata.album, std::optional<QString>(QStringLiteral("An Album")));
    QCOMPARE(metadata.trackNumber, std::optional<qint64>(3));
    QCOMPARE(metadata.discNumber, std::optional<qint64>(2));
    QCOMPARE(metadata.artworkData, std::optional<QByteArray>(readFile(path("front.png"))));
    QVERIFY(metadata.duration);
    QVERIFY2(std::abs(*metadata.duration - 1.0) < 0.05, qPrintable(QString::number(*metadata.duration)));
    QCOMPARE(metadata.subTrackIndex, std::nullopt);
    QVERIFY(log.messages("com.tornwick.rasko.coreaudio.decode").isEmpty());

    // The same duration as the opened stream reports.
    const AudioStream stream = m_plugin.open(SourceLocator::fileURL(path(name)), std::nullopt);
    QCOMPARE(stream.duration, metadata.duration);
}

void CoreAudioTagsTest::frontCoverPreferred()
{
    const TrackMetadata metadata = m_plugin.extract(SourceLocator::fileURL(path("two-covers.mp3")), std::nullopt);
    QCOMPARE(metadata.artworkData, std::optional<QByteArray>(readFile(path("front.png"))));
}

void CoreAudioTagsTest::taglessFileGivesDuration_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<std::optional<qint64>>("subTrackIndex");
    QTest::addColumn<double>("duration");
    QTest::newRow("44.1 kHz") << 44100 << std::optional<qint64>() << 1.0;
    QTest::newRow("48 kHz, sub-track 2") << 48000 << std::optional<qint64>(2) << 0.91875;
}

void CoreAudioTagsTest::taglessFileGivesDuration()
{
    QFETCH(int, rate);
    QFETCH(std::optional<qint64>, subTrackIndex);
    QFETCH(double, duration);
    WavFixture fixture;
    fixture.sampleRate = rate;
    fixture.frameCount = 44100;
    const QString file = path(QStringLiteral("plain%1.wav").arg(rate));
    QVERIFY(fixture.write(file));
    TrackMetadata expected;
    expected.duration = duration;
    expected.subTrackIndex = subTrackIndex;
    QCOMPARE(m_plugin.extract(SourceLocator::fileURL(file), subTrackIndex), expected);
}

void CoreAudioTagsTest::emptyTagValuesAreAbsent()
{
    WavFixture fixture;
    fixture.channelCount = 1;
    fixture.frameCount = 100;
    const QByteArray info = riffChunk("INAM", QByteArray(1, '\0')) + riffChunk("IART", QByteArray("Artist\0", 7))
        + riffChunk("IPRD", QByteArray("Album\0", 6));
    QVERIFY(writeFile(path("info.wav"), wavWithInfo(fixture, info)));
    const TrackMetadata metadata = m_plugin.extract(SourceLocator::fileURL(path("info.wav")), std::nullopt);
    QCOMPARE(metadata.title, std::nullopt);
    QCOMPARE(metadata.artist, std::optional<QString>(QStringLiteral("Artist")));
    QCOMPARE(metadata.album, std::optional<QString>(QStringLiteral("Album")));
}

void CoreAudioTagsTest::undecodableFilesFail_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text named mp3") << "readme.mp3" << QByteArray("Just some words, no sound at all.\n").repeated(40);
    QTest::newRow("empty flac") << "empty.flac" << QByteArray();
    QTest::newRow("image named m4a") << "picture.m4a" << QByteArray();
}

// Only what can be played is indexed: a file without a decodable audio
// stream fails, and nothing is logged (the caller reports).
void CoreAudioTagsTest::undecodableFilesFail()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    if (content.isEmpty() && name == "picture.m4a")
        content = readFile(path("front.png"));
    QVERIFY(writeFile(path(name), content));
    test::LogCapture log;
    try {
        m_plugin.extract(SourceLocator::fileURL(path(name)), std::nullopt);
        QFAIL("extract succeeded");
    } catch (const CoreAudioDecoderError& error) {
        QCOMPARE(error.kind(), CoreAudioDecoderError::Kind::openFailed);
        QVERIFY(error.description().startsWith(QStringLiteral("Could not open audio file: ") + name + ": "));
    }
    QVERIFY(log.messages("com.tornwick.rasko.coreaudio.decode").isEmpty());
}

void CoreAudioTagsTest::inMemoryDataHasNoTags()
{
    const QByteArray bytes = readFile(path("tagged.flac"));
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(m_plugin.extract(SourceLocator::data(bytes), 2), TrackMetadata());
    QCOMPARE(m_plugin.extract(SourceLocator::data(QByteArray("junk")), std::nullopt), TrackMetadata());
}

// The library scan extracts several files at once while a track plays, all
// through the one plug-in.
void CoreAudioTagsTest::concurrentCallsAgree()
{
    const QStringList names{"tagged.flac", "tagged-aac.m4a", "tagged-alac.m4a", "tagged.mp3"};
    QList<TrackMetadata> expected;
    for (const QString& name : names)
        expected.append(m_plugin.extract(SourceLocator::fileURL(path(name)), std::nullopt));

    std::atomic<int> mismatches = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                const int which = (t + round) % names.size();
                const SourceLocator locator = SourceLocator::fileURL(path(names[which]));
                try {
                    if (!(m_plugin.extract(locator, std::nullopt) == expected[which]))
                        ++mismatches;
                    AudioStream stream = m_plugin.open(locator, std::nullopt);
                    std::stop_source source;
                    qint64 frames = 0;
                    while (auto buffer = stream.buffers->next(source.get_token()))
                        frames += buffer->frameCount();
                    if (frames != 44100)
                        ++mismatches;
                } catch (const std::exception&) {
                    ++mismatches;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

QTEST_GUILESS_MAIN(CoreAudioTagsTest)
#include "tst_coreaudiotags.moc"
