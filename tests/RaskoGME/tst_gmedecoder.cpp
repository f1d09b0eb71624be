#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoHelper/HelperSession.h"
#include "RaskoLocalFile/FileIndexer.h"
#include "VessaCore/DecoderStoppedError.h"
#include "VessaCore/Error.h"
#include "tests/support/ChipFixtures.h"
#include "tests/support/DecoderHelperProbe.h"
#include "tests/support/LogCapture.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>
#include <thread>

// Last: libgme's header leaves macros behind that GMELibrary.h takes back.
#include "RaskoGME/GMELibrary.h"

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

QString failure(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& error) {
        return error.description();
    }
    return "no error";
}

// Chip files the emulators cannot cope with: they crash the library or keep
// it busy without end.
QByteArray gbsWithEveryFieldAtMax()
{
    QByteArray file = gbsFile(2, "Broken", "", "");
    for (int i = 4; i < 0x10; ++i) // counts, addresses, stack pointer, timer
        file[i] = char(0xFF);
    return file;
}

QByteArray vgmWithClocks(quint32 psgClock, quint32 fmClock, const QList<std::pair<int, double>>& tones = {{0, 1}})
{
    QByteArray file = toneVgm(tones);
    qToLittleEndian<quint32>(psgClock, file.data() + 0x0C);
    qToLittleEndian<quint32>(fmClock, file.data() + 0x2C);
    return file;
}

// An FM clock that makes every second of audio cost the emulator several of
// CPU time. Starting a track emulates ahead until the first sound, up to
// about 20 s of audio: a minute of silence keeps the start busy past the
// CPU budget, as a long tone keeps a seek.
QByteArray busyVgm(const QList<std::pair<int, double>>& tones = {{0, 1}})
{
    return vgmWithClocks(3579545, 0x3FFFFFFF, tones);
}

// Every sample of a stream of the library's own: what the plug-in rendered
// in the program's process before it used a helper.
std::vector<float> renderDirectly(const QByteArray& bytes, int index, double seconds)
{
    Music_Emu* emu = nullptr;
    if (gme_open_data(bytes.constData(), long(bytes.size()), &emu, 44100) || !emu)
        qFatal("libgme refused the fixture");
    gme_info_t* info = nullptr;
    gme_track_info(emu, &info, index);
    const int playLength = info ? info->play_length : -1;
    gme_free_info(info);
    gme_start_track(emu, index);
    if (playLength >= 1)
        gme_set_fade(emu, std::max(0, playLength - 8000));
    std::vector<float> left;
    std::vector<short> samples(8192 * 2);
    while (left.size() < seconds * 44100 && !gme_track_ended(emu)) {
        gme_play(emu, int(samples.size()), samples.data());
        for (std::size_t i = 0; i < samples.size(); i += 2)
            left.push_back(samples[i] / 32768.0f);
    }
    gme_delete(emu);
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

    QTemporaryDir m_files;

    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_files.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the fixture");
        return file.fileName();
    }

private slots:
    void initTestCase();
    void failures();
    void hostileFiles_data();
    void hostileFiles();
    void scanSkipsHostileFiles();
    void samePcmAsTheLibrary_data();
    void samePcmAsTheLibrary();
    void stopEndsABusyHelper();
    void stopEndsTheHelpersWork_data();
    void stopEndsTheHelpersWork();
    void failedHelperIsReplaced();
    void longSeekInHeavyEmulation();
    void tags();
    void playback_data();
    void playback();
    void seek_data();
    void seek();
};

void GMEDecoderTest::initTestCase()
{
    QVERIFY(m_files.isValid());
}

void GMEDecoderTest::failures()
{
    GMEDecoderPlugin plugin(VESSA_DECODER_HELPER);
    const QByteArray nsf = nsfFile(3, "", "", "");
    const QString wrongType = "Game music emulator error: Wrong file type for this emulator";
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
    GMEDecoderPlugin plugin(VESSA_DECODER_HELPER);
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

    AudioStream stream =
        GMEDecoderPlugin(VESSA_DECODER_HELPER).open(SourceLocator::data(bytes), std::nullopt, DecoderHints(!duration));
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
    const SeekHandler seek =
        GMEDecoderPlugin(VESSA_DECODER_HELPER).open(SourceLocator::data(bytes), {}, DecoderHints(false)).seek;
    const PcmBufferStreamPtr stream = seek(position, {});
    const std::vector<float> left = render(*stream, std::abs(quietAt) + 0.5);
    QVERIFY(quietAt < 0 ? left.size() <= 2 * 8192
                        : peak(left, quietAt - 0.02, quietAt - 0.01) > 0.1f
                              && peak(left, quietAt + 0.01, quietAt + 0.3) < 0.01f);
    // A stop ends the stream, for good.
    std::stop_source running, stopping;
    stopping.request_stop();
    QVERIFY(!stream->next(stopping.get_token()) && !stream->next(running.get_token()));
}

void GMEDecoderTest::hostileFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("stopsTheDecoder"); // else: the library's own error

    QTest::newRow("gbs fields at 0xff") << "broken.gbs" << gbsWithEveryFieldAtMax() << true;
    QTest::newRow("vgm psg clock 1") << "clock.vgm" << vgmWithClocks(1, 0) << true;
    QTest::newRow("vgm absurd psg clock") << "absurd.vgm" << vgmWithClocks(0x3FFFFFFF, 0) << true;
    // Keeps the emulator busy for ever: the CPU budget ends it.
    QTest::newRow("vgm absurd fm clock") << "busy.vgm" << busyVgm() << true;
    for (const QString& extension : GMEDecoderPlugin(VESSA_DECODER_HELPER).supportedExtensions()) {
        QTest::addRow("empty %s", qPrintable(extension)) << "empty." + extension << QByteArray() << false;
        QTest::addRow("truncated %s", qPrintable(extension))
            << "cut." + extension << QByteArray("NESM\x1a\1", 6) << false;
    }
    QTest::newRow("half a gbs header") << "half.gbs" << gbsFile(1, "", "", "").left(0x38) << false;
    QTest::newRow("half a vgm header") << "half.vgm" << toneVgm({{0, 1}}).left(0x20) << false;
}

void GMEDecoderTest::hostileFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, stopsTheDecoder);

    GMEDecoderPlugin plugin(VESSA_DECODER_HELPER);
    const QString path = write(name, bytes);
    const QString text = failure([&] {
        AudioStream stream = plugin.open(SourceLocator::fileURL(path), {}, DecoderHints());
        render(*stream.buffers, 5.0);
    });
    if (stopsTheDecoder)
        QCOMPARE(text, "The decoder stopped unexpectedly while reading \u201C" + name + "\u201D.");
    else
        QVERIFY2(text.startsWith("Game music emulator error: "), qPrintable(text));
    // This process lives on, and so does playback: the next track plays.
    AudioStream next = plugin.open(SourceLocator::data(toneVgm({{0, 1}})), {}, DecoderHints());
    QVERIFY(peak(render(*next.buffers, 1.0), 0, 0.5) > 0.1f);
}

void GMEDecoderTest::scanSkipsHostileFiles()
{
    auto plugin = std::make_shared<GMEDecoderPlugin>(VESSA_DECODER_HELPER);
    const FileIndexer indexer(nullptr, {plugin});
    const auto entry = [&](const QString& name, const QByteArray& bytes) {
        return FileEntry{write(name, bytes), m_files.filePath(name), QFileInfo(name).suffix(), QDateTime()};
    };
    const QList<FileEntry> entries = {
        entry("before.gbs", gbsFile(2, "Good", "", "")),
        entry("broken.gbs", gbsWithEveryFieldAtMax()),
        entry("empty.nsf", QByteArray()),
        entry("clock.vgm", vgmWithClocks(1, 0)),
        entry("after.nsf", nsfFile(3, "Also good", "", "")),
    };
    LogCapture log;
    QList<FileIndexer::Result::Kind> kinds;
    for (const FileEntry& e : entries)
        kinds.append(indexer.index(e).kind);
    using Kind = FileIndexer::Result::Kind;
    // The scan lists the sub-tracks of what libgme can read (even the broken
    // header's 255), and the next files still get indexed.
    QCOMPARE(kinds,
             (QList<Kind>{Kind::multiTrack, Kind::multiTrack, Kind::refused, Kind::multiTrack, Kind::multiTrack}));
    // A stopped scan reads nothing more: the file is skipped, not half read.
    std::stop_source stopped;
    stopped.request_stop();
    QCOMPARE(indexer.index(entries.first(), stopped.get_token()).kind, Kind::skipped);
    const QStringList messages = log.messages("com.tornwick.rasko.localfile.scan");
    QVERIFY(messages.contains("Skipping unplayable multi-track file: empty.nsf: Game music emulator error: Wrong file "
                              "type for this emulator"));
    // It is not damaged: its skipping goes unmentioned.
    QVERIFY(messages.filter("before.gbs").isEmpty());
    // Nor is a file refused for good because its helper could not run.
    const FileIndexer withoutHelper(nullptr, {std::make_shared<GMEDecoderPlugin>(QStringLiteral("/nonexistent"))});
    QCOMPARE(withoutHelper.index(entries.first()).kind, Kind::skipped);
}

void GMEDecoderTest::samePcmAsTheLibrary_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("index");

    QTest::newRow("vgm") << toneVgm({{0, 1}, {8, 1}, {15, 0.5}, {2, 1}}) << 0;
    QTest::newRow("gbs") << gbsFile(2, "", "", "") << 1;
    QTest::newRow("nsf") << nsfFile(1, "", "", "") << 0;
}

void GMEDecoderTest::samePcmAsTheLibrary()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, index);

    AudioStream stream = GMEDecoderPlugin(VESSA_DECODER_HELPER).open(SourceLocator::data(bytes), index, DecoderHints());
    const std::vector<float> expected = renderDirectly(bytes, index, 6.0);
    QVERIFY(expected.size() > 44100);
    QVERIFY(render(*stream.buffers, 6.0) == expected);
}

void GMEDecoderTest::stopEndsABusyHelper()
{
    // An emulator that never finishes starting its track, asked for by the
    // plug-in's own request: a stop ends the wait at once, without the CPU
    // budget running out first.
    const auto pool = HelperPool::forExecutable(VESSA_DECODER_HELPER);
    const HelperMessage busyOpen{HelperMessageType::gmeOpen,
                                 helperPayload(busyVgm(), true, QString("vgm"), qint64(0), false, false, 0.0)};
    for (const bool stopWhileWaiting : {false, true}) {
        HelperSession session(pool, "busy.vgm");
        std::stop_source source;
        session.post(busyOpen, source.get_token());
        std::jthread stopper;
        if (stopWhileWaiting)
            stopper = std::jthread([&source] { source.request_stop(); });
        else
            source.request_stop();
        // Not DecoderStoppedError: the worker was not left to run out of time.
        QVERIFY_THROWS_EXCEPTION(CancellationError, session.receive(source.get_token()));
    }
    // The killed helper is replaced by the next operation.
    QCOMPARE(GMEDecoderPlugin(VESSA_DECODER_HELPER).scanTracks(gbsFile(2, "", "", ""), "gbs").size(), 2);
}

void GMEDecoderTest::stopEndsTheHelpersWork_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<StopMoment>("moment");
    QTest::addColumn<QString>("expected");

    const QString cancelled = CancellationError().description();
    const QByteArray silence = busyVgm({{15, 60}});
    QTest::newRow("open, while the emulator starts")
        << "open"
        << "silence.vgm" << silence << StopMoment::whileAWorkerWorks << cancelled;
    QTest::newRow("open, never stopped: the CPU budget ends it")
        << "open"
        << "silence.vgm" << silence << StopMoment::never << DecoderStoppedError("silence.vgm").description();
    QTest::newRow("seek, while the emulator runs ahead")
        << "seek"
        << "tone.vgm" << busyVgm({{0, 30}}) << StopMoment::whileAWorkerWorks << cancelled;
    // Reading tags keeps no emulator busy: the stop comes first.
    QTest::newRow("tag read, stopped before") << "extract"
                                              << "tone.vgm" << busyVgm() << StopMoment::beforeTheCall << cancelled;
    QTest::newRow("open, stopped before")
        << "open"
        << "song.nsf" << nsfFile(1, "", "", "") << StopMoment::beforeTheCall << cancelled;
}

void GMEDecoderTest::stopEndsTheHelpersWork()
{
    QFETCH(QString, operation);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(StopMoment, moment);
    QFETCH(QString, expected);

    // A new track, a newer seek or the next file stops what the helper does
    // for the old one: at once, not when its CPU budget runs out.
    GMEDecoderPlugin plugin(VESSA_DECODER_HELPER);
    QCOMPARE(failureWhenStopped(moment, plugin, operation, SourceLocator::fileURL(write(name, bytes)), 8.0), expected);
    // The stopped helper is gone and reaped; the plug-in carries on with new ones.
    AudioStream next = plugin.open(SourceLocator::data(toneVgm({{0, 1}})), {}, DecoderHints());
    QVERIFY(peak(render(*next.buffers, 1.0), 0, 0.5) > 0.1f);
    QCOMPARE(plugin.extract(SourceLocator::data(nsfFile(2, "Next", "", "")), 1).album, "Next");
    QCOMPARE(zombieChildren(), 0);
}

void GMEDecoderTest::failedHelperIsReplaced()
{
    // A damaged request ends the helper where it reads it, as a crash of the
    // library would: that operation fails, the next gets a new helper, and
    // no process is left behind unreaped.
    const auto pool = HelperPool::forExecutable(VESSA_DECODER_HELPER);
    for (const HelperMessageType type : {HelperMessageType::gmeScan, HelperMessageType::gmeOpen}) {
        HelperSession session(pool, "damaged.nsf");
        QCOMPARE(failure([&] {
                     session.request(HelperMessage{type, "not a request"});
                 }),
                 "The decoder stopped unexpectedly while reading \u201Cdamaged.nsf\u201D.");
    }
    QCOMPARE(GMEDecoderPlugin(VESSA_DECODER_HELPER).scanTracks(nsfFile(4, "", "", ""), "nsf").size(), 4);
    QCOMPARE(zombieChildren(), 0);
    // Without its helper the plug-in fails each operation the same way.
    LogCapture log;
    QCOMPARE(failure([] { GMEDecoderPlugin("/nonexistent/helper").scanTracks(nsfFile(1, "", "", ""), "nsf"); }),
             "The decoder stopped unexpectedly while reading the file.");
    QVERIFY(log.messages("com.tornwick.raskohelper.process")
                .contains("Cannot start the decoder helper /nonexistent/helper: No such file or directory"));
}

void GMEDecoderTest::longSeekInHeavyEmulation()
{
    // FM synthesis emulates at a few times real time: reaching a point 40 s
    // in takes longer than an operation's few seconds of CPU time, which a
    // seek earns by the audio it passes over.
    AudioStream stream =
        GMEDecoderPlugin(VESSA_DECODER_HELPER).open(SourceLocator::data(fmToneVgm()), {}, DecoderHints(true));
    const PcmBufferStreamPtr sought = stream.seek(40.0, {});
    QCOMPARE(render(*sought, 0.5).size(), std::size_t(3 * 8192));
}

QTEST_GUILESS_MAIN(GMEDecoderTest)
#include "tst_gmedecoder.moc"
