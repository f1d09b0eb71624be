#include "RaskoGME/GMEDecoderPlugin.h"
#include "VessaCore/Error.h"
#include "tests/support/ChipFixtures.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

using namespace vessa;
using namespace vessa::test;

namespace {

// The left channel of a stream until it ends or `seconds` of audio went by.
std::vector<float> render(PcmBufferStream& stream, double seconds)
{
    std::vector<float> left;
    std::stop_source source;
    std::optional<PCMBuffer> buffer;
    while (left.size() < seconds * 44100 && (buffer = stream.next(source.get_token()))) {
        if (buffer->format != GMEDecoderPlugin::streamFormat() || buffer->channelData.at(1).size() != 8192
            || buffer->frameCount() != 8192)
            qFatal("not a full stereo chunk");
        left.insert(left.end(), buffer->channelData[0].begin(), buffer->channelData[0].end());
    }
    return left;
}

float peak(const std::vector<float>& left, double from, double to) // seconds
{
    float peak = 0;
    for (auto i = std::size_t(from * 44100); i < std::min(left.size(), std::size_t(to * 44100)); ++i)
        peak = std::max(peak, std::abs(left[i]));
    return peak;
}

} // namespace

class GMEDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void failures();
    void tags();
    void playback_data();
    void playback();
    void seek_data();
    void seek();
};

void GMEDecoderTest::failures()
{
    GMEDecoderPlugin plugin;
    const QByteArray nsf = nsfFile(3, "", "", "");
    const QString wrongType = "Game music emulator error: Wrong file type for this emulator";
    const auto failure = [](const std::function<void()>& call) -> QString {
        try {
            call();
        } catch (const Error& error) {
            return error.description();
        }
        return "no error";
    };
    QCOMPARE(failure([&] { plugin.open(SourceLocator::data(nsf), 3, DecoderHints()); }),
             "Track 3 out of range (file has 3 tracks)");
    QCOMPARE(failure([&] { plugin.open(SourceLocator::data(nsf), -1, DecoderHints()); }),
             "Track -1 out of range (file has 3 tracks)");
    QCOMPARE(failure([&] {
                 plugin.open(SourceLocator::data(toneVgm({{0, 1}})), {}, DecoderHints(false, "nsf"));
             }),
             wrongType);
    QCOMPARE(failure([&] { plugin.scanTracks(QByteArray(300, '\x7f'), ""); }), wrongType);
    // An index beyond the library's int reaches it as the largest int.
    QCOMPARE(failure([&] { plugin.extract(SourceLocator::data(nsf), qint64(1) << 40); }),
             "Game music emulator error: Invalid track");
    const QString missing = failure(
        [&] { plugin.open(SourceLocator::fileURL(QDir::current().filePath("missing.nsf")), {}, DecoderHints()); });
    QVERIFY2(missing.startsWith("The file \u201Cmissing.nsf\u201D couldn\u2019t be read: "), qPrintable(missing));
}

void GMEDecoderTest::tags()
{
    GMEDecoderPlugin plugin;
    const auto check = [&](const QByteArray& bytes, std::optional<qint64> index, const TrackMetadata& expected,
                           int count) {
        QCOMPARE(plugin.extract(SourceLocator::data(bytes), index), expected);
        // Scanning lists the same tags, with "Track N" for a song without a title.
        const QList<ScannedSubTrack> tracks = plugin.scanTracks(bytes, "");
        const qint64 i = index.value_or(0);
        QCOMPARE(tracks.size(), count);
        QCOMPARE(tracks[i],
                 ScannedSubTrack(i, expected.title.value_or(QString("Track %1").arg(i + 1)),
                                 expected.artist.value_or(""), expected.album.value_or(""), expected.duration));
    };
    check(toneVgm({{0, 2.5}}, false, "Opening", "Some Game", "Someone"), {},
          {.title = "Opening", .artist = "Someone", .album = "Some Game", .duration = 2.5}, 1);
    check(gbsFile(2, "Game Title", "Composer", "2026"), 1,
          {.artist = "Composer", .album = "Game Title", .duration = 150.0, .subTrackIndex = 1}, 2);
    check(nsfFile(3, "", "", ""), 2, {.duration = 150.0, .subTrackIndex = 2}, 3);
    QVERIFY(plugin.scanTracks(nsfFile(0, "", "", ""), "nsf").isEmpty()); // no songs: not an error
    QVERIFY(plugin.canScan("NSF") && plugin.canScan("Vgz") && plugin.canScan("sap"));
    QVERIFY(!plugin.canScan("mp3") && !plugin.canScan(".nsf") && !plugin.canScan(""));
}

void GMEDecoderTest::playback_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<double>>("duration"); // none: opened for endless play
    QTest::addColumn<double>("endsBy");                  // seconds; 0: still playing after 15 s

    const QByteArray once = toneVgm({{0, 3}});
    const QByteArray looping = toneVgm({{0, 2}}, true); // plays through twice: 4 s
    QTest::newRow("by content") << once << std::optional(3.0) << 3.2;
    // Shorter than the 8 s fade: it fades from the start instead of looping for ever.
    QTest::newRow("short loop fades out") << looping << std::optional(4.0) << 8.2;
    QTest::newRow("endless loop") << looping << std::optional<double>() << 0.0;
    // The SPC's own 2 s tag would end it unless endless play lifts it.
    QTest::newRow("endless spc") << spcFile(2) << std::optional<double>() << 0.0;
}

void GMEDecoderTest::playback()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<double>, duration);
    QFETCH(double, endsBy);

    AudioStream stream = GMEDecoderPlugin().open(SourceLocator::data(bytes), std::nullopt, DecoderHints(!duration));
    QCOMPARE(stream.duration, duration);
    const std::vector<float> left = render(*stream.buffers, 15.0);
    QVERIFY2(endsBy > 0 ? left.size() <= endsBy * 44100 : left.size() >= 15 * 44100,
             qPrintable(QString::number(left.size())));
    QVERIFY(peak(left, 0, 0.2) > 0.1f && (endsBy > 0 || peak(left, 14.8, 15) > 0.1f));
    std::stop_source source;
    QVERIFY(endsBy == 0 || !stream.buffers->next(source.get_token())); // stays finished
}

void GMEDecoderTest::seek_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("quietAt"); // seconds into the new stream; -1: it ends at once

    QTest::newRow("0.5 s") << 0.5 << 1.5;
    QTest::newRow("NaN is the start") << std::numeric_limits<double>::quiet_NaN() << 2.0;
    QTest::newRow("second time round") << 13.25 << 0.75;
    QTest::newRow("far past the end") << 1e12 << -1.0;
}

void GMEDecoderTest::seek()
{
    QFETCH(double, position);
    QFETCH(double, quietAt);

    // Tone for 2 s, quiet for 1 s, tone for 9 s, and all over again.
    const QByteArray bytes = toneVgm({{0, 2}, {15, 1}, {0, 9}}, true);
    // The seek operation outlives the plug-in and the stream it came from.
    const SeekHandler seek = GMEDecoderPlugin().open(SourceLocator::data(bytes), {}, DecoderHints(false)).seek;
    const PcmBufferStreamPtr stream = seek(position);
    const std::vector<float> left = render(*stream, std::abs(quietAt) + 0.5);
    QVERIFY(quietAt < 0 ? left.size() <= 2 * 8192
                        : peak(left, quietAt - 0.02, quietAt - 0.01) > 0.1f
                              && peak(left, quietAt + 0.01, quietAt + 0.3) < 0.01f);
    // A stop ends the stream, for good.
    std::stop_source running, stopping;
    stopping.request_stop();
    QVERIFY(!stream->next(stopping.get_token()) && !stream->next(running.get_token()));
}

QTEST_GUILESS_MAIN(GMEDecoderTest)
#include "tst_gmedecoder.moc"
