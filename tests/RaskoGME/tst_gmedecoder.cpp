#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoGME/GMEEmu.h"
#include "RaskoGME/GMEError.h"
#include "tests/support/ChipFixtures.h"
#include "VessaCore/FileReadError.h"

#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

#include <cmath>
#include <limits>

using namespace vessa;
using namespace vessa::test;

namespace {

constexpr double sampleRate = 44100.0;

// Left-channel levels of a rendered stream, and where it first went quiet.
struct Rendered {
    qint64 frames = 0;
    int buffers = 0;
    bool ended = false;
    float firstPeak = 0;
    float lastPeak = 0;
    qint64 firstQuietFrame = -1; // start of the first 10 ms with |sample| < 0.01
};

float peakOf(const std::vector<float>& samples)
{
    float peak = 0;
    for (float s : samples)
        peak = std::max(peak, std::abs(s));
    return peak;
}

// Pulls buffers until the stream ends or `maxSeconds` of audio were rendered,
// checking that every buffer is a full stereo chunk in the stream format.
Rendered render(PcmBufferStream& stream, double maxSeconds)
{
    Rendered result;
    std::stop_source source;
    qint64 quietRun = 0;
    while (result.frames < qint64(maxSeconds * sampleRate)) {
        std::optional<PCMBuffer> buffer = stream.next(source.get_token());
        if (!buffer) {
            result.ended = true;
            break;
        }
        if (buffer->format != GMEDecoderPlugin::streamFormat() || buffer->channelData.size() != 2
            || buffer->channelData[0].size() != 8192 || buffer->channelData[1].size() != 8192)
            qFatal("buffer is not a full stereo chunk");
        const std::vector<float>& left = buffer->channelData[0];
        const float peak = peakOf(left);
        if (result.buffers == 0)
            result.firstPeak = peak;
        result.lastPeak = peak;
        for (std::size_t i = 0; i < left.size(); ++i) {
            quietRun = std::abs(left[i]) < 0.01f ? quietRun + 1 : 0;
            if (quietRun == 441 && result.firstQuietFrame < 0)
                result.firstQuietFrame = result.frames + qint64(i) - 440;
        }
        result.frames += qint64(left.size());
        ++result.buffers;
    }
    return result;
}

QByteArray gzip(const QByteArray& data)
{
    QByteArray out(data.size() + 1024, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

// Tone for 2 s, quiet for 1 s, tone for 9 s, then again from the start (its
// play length of two loops, 24 s, keeps the fade-out far away).
QByteArray toneGapVgm()
{
    VgmBuilder vgm;
    vgm.loopHere().psgTone(0, 254).psgAttenuation(0, 0).waitSeconds(2);
    vgm.psgAttenuation(0, 15).waitSeconds(1).psgAttenuation(0, 0).waitSeconds(9);
    return vgm.build();
}

std::optional<QString> noHint()
{
    return std::nullopt;
}

} // namespace

class GMEDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void identity();
    void opensByExtensionOrContent_data();
    void opensByExtensionOrContent();
    void openFailures_data();
    void openFailures();
    void unreadableFile();
    void durationAndEnd_data();
    void durationAndEnd();
    void seekStartsAtPosition_data();
    void seekStartsAtPosition();
    void seekPastEnd();
    void seekMilliseconds_data();
    void seekMilliseconds();
    void stopMidStream();

private:
    QTemporaryDir m_dir;
};

void GMEDecoderTest::identity()
{
    GMEDecoderPlugin plugin;
    QCOMPARE(plugin.name(), QStringLiteral("GameMusicEmu"));
    QCOMPARE(plugin.supportedExtensions(),
             QSet<QString>({"nsf", "nsfe", "spc", "gbs", "vgm", "vgz", "gym", "hes", "ay", "kss", "sap"}));
    QVERIFY(plugin.canDecode("NSF"));
    QVERIFY(plugin.canDecode("vgz"));
    QVERIFY(!plugin.canDecode(""));
    QVERIFY(!plugin.canDecode("nsfx"));
}

void GMEDecoderTest::opensByExtensionOrContent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileName"); // empty: a data locator
    QTest::addColumn<std::optional<QString>>("hint");

    const QByteArray vgm = psgToneVgm(3.0, false);
    QTest::newRow("file .vgm") << vgm << "tone.vgm" << noHint();
    QTest::newRow("file .VGM") << vgm << "TONE.VGM" << noHint();
    QTest::newRow("file .vgz") << gzip(vgm) << "tone.vgz" << noHint();
    QTest::newRow("unknown extension") << vgm << "tone.bin" << noHint();
    QTest::newRow("no extension") << vgm << "tone" << noHint();
    QTest::newRow("data without hint") << vgm << "" << noHint();
    QTest::newRow("data, hint vgm") << vgm << "" << std::optional<QString>("vgm");
    QTest::newRow("data, hint .VGM") << vgm << "" << std::optional<QString>(".VGM");
    QTest::newRow("data, empty hint") << vgm << "" << std::optional<QString>("");
    QTest::newRow("hint beats the path") << vgm << "tone.nsf" << std::optional<QString>("vgm");
}

void GMEDecoderTest::opensByExtensionOrContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fileName);
    QFETCH(std::optional<QString>, hint);

    SourceLocator locator = SourceLocator::data(bytes);
    if (!fileName.isEmpty()) {
        const QString path = m_dir.filePath(fileName);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        locator = SourceLocator::fileURL(path);
    }
    GMEDecoderPlugin plugin;
    AudioStream stream = plugin.open(locator, std::nullopt, DecoderHints(false, hint));
    QCOMPARE(stream.format, AudioFormat(44100.0, 2, 4, false));
    QCOMPARE(stream.duration, std::optional<double>(3.0));
    QVERIFY(stream.seek);
    const Rendered rendered = render(*stream.buffers, 1.0);
    QVERIFY(rendered.firstPeak > 0.1f);
}

void GMEDecoderTest::openFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<QString>>("hint");
    QTest::addColumn<std::optional<qint64>>("index");
    QTest::addColumn<QString>("description");

    const QByteArray nsf = nsfFile(3, "", "", "");
    const QString wrongType = QStringLiteral("Game music emulator error: Wrong file type for this emulator");
    QTest::newRow("index = count") << nsf << noHint() << std::optional<qint64>(3)
                                   << "Track 3 out of range (file has 3 tracks)";
    QTest::newRow("index -1") << nsf << noHint() << std::optional<qint64>(-1)
                              << "Track -1 out of range (file has 3 tracks)";
    QTest::newRow("index beyond int") << nsf << noHint() << std::optional<qint64>(qint64(1) << 40)
                                      << "Track 1099511627776 out of range (file has 3 tracks)";
    QTest::newRow("no songs") << nsfFile(0, "", "", "") << noHint() << std::optional<qint64>()
                              << "Track 0 out of range (file has 0 tracks)";
    QTest::newRow("junk") << QByteArray("not music at all") << noHint() << std::optional<qint64>() << wrongType;
    QTest::newRow("empty") << QByteArray() << noHint() << std::optional<qint64>() << wrongType;
    QTest::newRow("truncated nsf") << nsf.left(60) << noHint() << std::optional<qint64>() << wrongType;
    QTest::newRow("vgm named nsf") << psgToneVgm(1, false) << std::optional<QString>("nsf")
                                   << std::optional<qint64>() << wrongType;
    QTest::newRow("junk named spc") << QByteArray(70000, 'x') << std::optional<QString>("spc")
                                    << std::optional<qint64>() << wrongType;
}

void GMEDecoderTest::openFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<QString>, hint);
    QFETCH(std::optional<qint64>, index);
    QFETCH(QString, description);

    GMEDecoderPlugin plugin;
    try {
        plugin.open(SourceLocator::data(bytes), index, DecoderHints(false, hint));
        QFAIL("open succeeded");
    } catch (const GMEError& error) {
        QCOMPARE(error.description(), description);
        QCOMPARE(QString::fromUtf8(error.what()), description);
    }
}

void GMEDecoderTest::unreadableFile()
{
    GMEDecoderPlugin plugin;
    const QString path = m_dir.filePath("missing.nsf");
    try {
        plugin.open(SourceLocator::fileURL(path), std::nullopt);
        QFAIL("open succeeded");
    } catch (const FileReadError& error) {
        QCOMPARE(error.path(), path);
        QVERIFY2(error.description().startsWith(QStringLiteral("The file \u201Cmissing.nsf\u201D couldn\u2019t be read: ")),
                 qPrintable(error.description()));
    }
    QVERIFY_THROWS_EXCEPTION(FileReadError, plugin.extract(SourceLocator::fileURL(m_dir.path()), std::nullopt));
}

void GMEDecoderTest::durationAndEnd_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("infiniteLoop");
    QTest::addColumn<std::optional<double>>("duration");
    QTest::addColumn<double>("endsBySeconds"); // 0: still playing after 30 s of audio

    const QByteArray once = psgToneVgm(3.0, false);
    const QByteArray looping = psgToneVgm(2.0, true); // plays intro + two loops: 4 s
    QTest::newRow("ends by itself") << once << false << std::optional<double>(3.0) << 3.2;
    // Shorter than the 8 s fade: the fade starts at once and the stream ends
    // when it is over instead of looping forever.
    QTest::newRow("short loop fades out") << looping << false << std::optional<double>(4.0) << 8.2;
    QTest::newRow("endless loop") << looping << true << std::optional<double>() << 0.0;
    QTest::newRow("endless gbs") << gbsFile(2, "G", "A", "C") << true << std::optional<double>() << 0.0;
    // The SPC's own 2 s tag would end it early unless endless play lifts it.
    const QByteArray spc = spcFile(2, "Song", "Game", "Artist");
    QTest::newRow("spc fades out") << spc << false << std::optional<double>(2.0) << 8.2;
    QTest::newRow("endless spc") << spc << true << std::optional<double>() << 0.0;
}

void GMEDecoderTest::durationAndEnd()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, infiniteLoop);
    QFETCH(std::optional<double>, duration);
    QFETCH(double, endsBySeconds);

    GMEDecoderPlugin plugin;
    AudioStream stream = plugin.open(SourceLocator::data(bytes), std::nullopt, DecoderHints(infiniteLoop));
    QCOMPARE(stream.duration, duration);
    const Rendered rendered = render(*stream.buffers, 30.0);
    if (endsBySeconds > 0) {
        QVERIFY(rendered.ended);
        QVERIFY2(rendered.frames <= qint64(endsBySeconds * sampleRate), qPrintable(QString::number(rendered.frames)));
        QVERIFY(rendered.firstPeak > 0.1f);
        // Once finished, the stream stays finished.
        std::stop_source source;
        QVERIFY(!stream.buffers->next(source.get_token()));
    } else {
        QVERIFY(!rendered.ended);
        QVERIFY(rendered.lastPeak > 0.1f);
    }
}

void GMEDecoderTest::seekStartsAtPosition_data()
{
    QTest::addColumn<bool>("infiniteLoop");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("quietAfter"); // seconds into the new stream

    // The tone stops 2 s into the track.
    QTest::newRow("0.5 s") << false << 0.5 << 1.5;
    QTest::newRow("1.5 s") << false << 1.5 << 0.5;
    QTest::newRow("1.5 s, endless") << true << 1.5 << 0.5;
    QTest::newRow("start") << false << 0.0 << 2.0;
    QTest::newRow("negative is the start") << false << -3.0 << 2.0;
    QTest::newRow("second loop") << true << 13.25 << 0.75;
}

void GMEDecoderTest::seekStartsAtPosition()
{
    QFETCH(bool, infiniteLoop);
    QFETCH(double, position);
    QFETCH(double, quietAfter);

    SeekHandler seek;
    {
        GMEDecoderPlugin plugin;
        AudioStream stream = plugin.open(SourceLocator::data(toneGapVgm()), std::nullopt, DecoderHints(infiniteLoop));
        QVERIFY(stream.seek);
        seek = stream.seek; // outlives the plug-in and the first stream
    }
    PcmBufferStreamPtr seeked = seek(position);
    QVERIFY(seeked);
    const Rendered rendered = render(*seeked, quietAfter + 0.5);
    QVERIFY(rendered.firstPeak > 0.1f);
    const qint64 expected = qint64(quietAfter * sampleRate);
    QVERIFY2(std::abs(rendered.firstQuietFrame - expected) < 441,
             qPrintable(QStringLiteral("quiet at frame %1, expected %2").arg(rendered.firstQuietFrame).arg(expected)));
}

void GMEDecoderTest::seekPastEnd()
{
    // A seek far past the end of a finite track gives a stream that ends at once.
    GMEDecoderPlugin plugin;
    AudioStream nsf = plugin.open(SourceLocator::data(nsfFile(3, "", "", "")), 2);
    QCOMPARE(nsf.duration, std::optional<double>(150.0));
    PcmBufferStreamPtr pastEnd = nsf.seek(3600.0);
    const Rendered rendered = render(*pastEnd, 10.0);
    QVERIFY(rendered.ended);
    QVERIFY(rendered.buffers <= 2);
}

void GMEDecoderTest::seekMilliseconds_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("milliseconds");

    QTest::newRow("1.5 ms") << 0.0015 << 1;
    QTest::newRow("fraction dropped") << 2.9999 << 2999;
    QTest::newRow("whole") << 61.25 << 61250;
    QTest::newRow("negative") << -1.0 << 0;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("huge") << 1.0e12 << std::numeric_limits<int>::max();
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << std::numeric_limits<int>::max();
}

void GMEDecoderTest::seekMilliseconds()
{
    QFETCH(double, seconds);
    QFETCH(int, milliseconds);
    QCOMPARE(GMEEmu::millisecondsFor(seconds), milliseconds);
}

void GMEDecoderTest::stopMidStream()
{
    GMEDecoderPlugin plugin;
    AudioStream stream = plugin.open(SourceLocator::data(psgToneVgm(2.0, true)), std::nullopt, DecoderHints(true));
    std::stop_source running;
    for (int i = 0; i < 3; ++i)
        QVERIFY(stream.buffers->next(running.get_token()));

    std::stop_source stopping;
    stopping.request_stop();
    QVERIFY(!stream.buffers->next(stopping.get_token()));
    QVERIFY(!stream.buffers->next(running.get_token())); // stays finished

    // Seeking still works after the stream it came from was stopped, and a
    // stream dropped while rendering frees its emulator (checked by the
    // sanitizer build).
    PcmBufferStreamPtr seeked = stream.seek(1.0);
    QVERIFY(seeked->next(running.get_token()));
    seeked.reset();
    stream.buffers.reset();
}

QTEST_GUILESS_MAIN(GMEDecoderTest)
#include "tst_gmedecoder.moc"
