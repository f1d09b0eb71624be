#include "RaskoLocalFile/InotifyEvent.h"
#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/MountPoints.h"
#include "RaskoLocalFile/MountTable.h"
#include "RaskoLocalFile/UniqueFd.h"
#include "RaskoLocalFile/ZipArchiveError.h"
#include "tests/support/GatedExtractor.h"
#include "tests/support/LocalLibraryFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/UnprivilegedFileAccess.h"
#include "tests/support/ZipFixture.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <condition_variable>
#include <future>
#include <limits>
#include <mutex>
#include <tuple>

using namespace vessa;
using vessa::test::failureOf;
using vessa::test::GatedExtractor;
using vessa::test::LocalLibraryFixture;
using vessa::test::LogCapture;
using vessa::test::ZipFixture;
using Batch = DirectoryWatcher::EventBatch;
using Int = std::optional<qint64>;
using Row = MediaDatabase::TrackRow;

namespace {

const QString resolveCategory = QStringLiteral("com.tornwick.rasko.localfile.resolve");
const QString scanCategory = QStringLiteral("com.tornwick.rasko.localfile.scan");

QList<ScannedSubTrack> subTracks(int count)
{
    QList<ScannedSubTrack> list;
    for (int i = 0; i < count; ++i)
        list.append(ScannedSubTrack(i, QStringLiteral("Song %1").arg(i + 1), "Composer", {}, i ? 0.0 : 61.75));
    return list;
}

// A scan of the library's music folder; returns the progress reports.
QList<ScanProgress> scanReporting(LocalLibraryFixture& library, QList<ScannedTrack>& tracks)
{
    QList<ScanProgress> reports;
    tracks = library.plugin->scanDirectories({library.music()}, [&](const ScanProgress& p) { reports.append(p); });
    return reports;
}

Row row(const QString& path, const QString& title, Int duration = {}, Int subTrack = {}, const QString& ext = "mp3")
{
    return Row(0, "Artist", "Album", title, duration, path, ext, LocalLibraryFixture::defaultTime(), subTrack, {}, {});
}

QString resolveFailure(LocalLibraryFixture& library, const TrackRef& ref)
{
    return failureOf<LocalFileError>([&] { library.plugin->resolve(ref); });
}

} // namespace

class TestLocalFileSource : public QObject {
    Q_OBJECT

private slots:
    // A cold scan reads every supported file once and reports each in order; a
    // rescan reads only the files whose time differs from the stored one, later
    // or earlier; the rows of files, folders and members that are gone go.
    void scansReadWhatChanged()
    {
        LocalLibraryFixture library;
        const QString tagged = library.write("A/01 Tagged.mp3");
        const QString loud = library.write("B/LOUD.MP3");
        library.write("B/cover.jpg");
        library.write("Old/two.mp3");
        const QString archive = library.path("Live.ZIP");
        ZipFixture().addFile("CD1/Opening.MP3", "first").addFile("CD1/Encore.flac", "second").write(archive);
        library.extractor->setMetadata(tagged, TrackMetadata{.title = "Tagged",
                                                             .artist = "Artist",
                                                             .album = "",
                                                             .duration = 12.9,
                                                             .trackNumber = 3,
                                                             .discNumber = 1});
        LogCapture log;
        QList<ScannedTrack> before;
        QCOMPARE(scanReporting(library, before), (QList<ScanProgress>{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
        // An archive is never indexed as a file, though "zip" is among the fixture's
        // extensions. Its members are read from memory and titled after their own names.
        QCOMPARE(LocalLibraryFixture::filePaths(before),
                 (QStringList{tagged, loud, archive + "::CD1/Encore.flac", archive + "::CD1/Opening.MP3",
                              library.path("Old/two.mp3")}));
        QCOMPARE(library.extractedPaths().count(QString()), 2);
        const QList<Row> rows = library.database->allTracks(); // by artist, album, disc and track, title
        QStringList titles;
        for (const Row& row : rows)
            titles.append(row.title);
        QCOMPARE(titles, (QStringList{"Encore", "LOUD", "Opening", "two", "Tagged"}));
        QCOMPARE(rows.last(), Row(rows.last().id, "Artist", "", "Tagged", 12, tagged, "mp3",
                                  LocalLibraryFixture::defaultTime(), {}, 3, 1));
        QCOMPARE(log.messages(scanCategory).first(), "Starting scan of 1 directories");
        QVERIFY(log.contains(scanCategory, "Found 5 audio files, 5 new/modified"));
        QCOMPARE(log.messages(scanCategory).last(), "Scan complete");

        log.clear();
        QList<ScannedTrack> after;
        QVERIFY(scanReporting(library, after).isEmpty());
        QCOMPARE(after, before);
        QVERIFY(log.contains(scanCategory, "Found 5 audio files, 0 new/modified"));
        for (const qint64 shift : {qint64(1), qint64(-86'400'000)}) {
            const QDateTime time = LocalLibraryFixture::defaultTime().addMSecs(shift);
            LocalLibraryFixture::setModified(loud, time);
            const qsizetype calls = library.extractor->extractCalls().size();
            library.scan();
            QCOMPARE(library.extractedPaths().mid(calls), QStringList{loud});
            QCOMPARE(library.database->allFileModTimes().value(loud), time);
        }

        QVERIFY(QDir(library.path("Old")).removeRecursively());
        ZipFixture().addFile("CD1/Encore.flac", "second").write(archive);
        LocalLibraryFixture::setModified(archive, LocalLibraryFixture::defaultTime().addSecs(5));
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()),
                 (QStringList{tagged, loud, archive + "::CD1/Encore.flac"}));
    }

    // Nested and repeated music folders list a file once; a rescan with a
    // narrower list drops what lies outside it.
    void overlappingFoldersCountEachFileOnce()
    {
        LocalLibraryFixture library;
        const QString outer = library.write("A/x.mp3");
        const QString inner = library.write("A/B/y.mp3");
        const QStringList folders{library.music(), library.path("A"), library.path("A/"), library.music()};
        QCOMPARE(LocalLibraryFixture::filePaths(library.plugin->scanDirectories(folders)), (QStringList{inner, outer}));
        QCOMPARE(library.extractedPaths().size(), 2);
        QCOMPARE(LocalLibraryFixture::filePaths(library.plugin->scanDirectories(folders)), (QStringList{inner, outer}));
        QCOMPARE(library.extractedPaths().size(), 2);
        QCOMPARE(LocalLibraryFixture::filePaths(library.plugin->scanDirectories({library.path("A/B")})),
                 QStringList{inner});
    }

    // The index handed out again without a read is never an old one: every
    // kind of write shows at once.
    void listedIndexFollowsEveryWrite()
    {
        LocalLibraryFixture library;
        const QString file = library.write("a.mp3");
        const QList<ScannedTrack> scanned = library.scan();
        QCOMPARE(library.plugin->allTracksFromDatabase(), scanned);
        library.database->upsert(row(library.path("b.mp3"), "B"));
        QCOMPARE(LocalLibraryFixture::filePaths(library.plugin->allTracksFromDatabase()),
                 (QStringList{file, library.path("b.mp3")}));
        library.database->removeTracksWithPaths({file});
        QCOMPARE(library.plugin->allTracksFromDatabase().size(), 1);
        library.plugin->removeTracks(library.music());
        QVERIFY(library.plugin->allTracksFromDatabase().isEmpty());
        QCOMPARE(library.scan(), scanned);
    }

    void onlyRegularFilesAreRead()
    {
        LocalLibraryFixture library;
        const QString real = library.write("Album/real.mp3");
        const QString inside = library.write("Folder.mp3/inside.mp3");
        QVERIFY(mkfifo(QFile::encodeName(library.path("Album/pipe.mp3")).constData(), 0644) == 0);
        QVERIFY(mkfifo(QFile::encodeName(library.path("Album/pipe.zip")).constData(), 0644) == 0);
        QVERIFY(QFile::link(real, library.path("link.mp3")));
        QVERIFY(QFile::link(library.path("missing.mp3"), library.path("dangling.mp3")));
        // A link back up the tree would loop forever if it were followed.
        QVERIFY(QFile::link(library.music(), library.path("Album/loop")));
        QVERIFY(QFile::link(library.path("Album"), library.path("alias.mp3")));
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), (QStringList{real, inside, library.path("link.mp3")}));
    }

    // An unreadable music folder ends the scan and keeps the index. A folder
    // inside one that cannot be read keeps its rows and marks until it can
    // be read again; one that is deleted loses them.
    void unreadableFolders()
    {
        LocalLibraryFixture library;
        library.write("file.mp3");
        const QString closed = QFileInfo(library.write("closed/b.mp3")).path();
        ZipFixture().addFile("in.mp3", "member").write(closed + "/Set.zip");
        library.scan();
        const QList<Row> rows = library.database->allTracks();
        const auto marks = library.database->allFileMarks();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(marks.size(), 1);
        for (const QString& bad : {library.path("missing"), library.path("file.mp3")}) {
            QCOMPARE(failureOf<LocalFileError>([&] {
                         library.plugin->scanDirectories({library.music(), bad});
                     }),
                     "Cannot enumerate directory: " + bad);
        }
        QCOMPARE(library.database->allTracks(), rows);
        QCOMPARE(chmod(QFile::encodeName(QFileInfo(library.music()).path()).constData(), 0755), 0);
        QCOMPARE(chmod(QFile::encodeName(closed).constData(), 0), 0);
        const auto restore = qScopeGuard([&] { chmod(QFile::encodeName(closed).constData(), 0755); });
        // A link into the closed folder leaves the folder it lies in readable.
        QVERIFY(QFile::link(closed + "/b.mp3", library.path("link.mp3")));
        LogCapture log;
        {
            const vessa::test::UnprivilegedFileAccess unprivileged;
            QCOMPARE(library.scan().size(), 3);
            // Judged without a scan as the scan judges them.
            QVERIFY(library.plugin->isUnreadableFolder(closed));
            QVERIFY(!library.plugin->isUnreadableFolder(library.music()));
        }
        QCOMPARE(library.database->allTracks(), rows);
        QCOMPARE(library.database->allFileMarks(), marks);
        QCOMPARE(library.plugin->unreadableFolders(), QStringList{closed});
        QVERIFY(log.contains(scanCategory,
                             "Folder cannot be read, its tracks are kept: " + closed + " (Permission denied)"));
        QCOMPARE(chmod(QFile::encodeName(closed).constData(), 0755), 0);
        library.scan();
        QVERIFY(library.plugin->unreadableFolders().isEmpty());
        QVERIFY(QDir(closed).removeRecursively());
        QVERIFY(!library.plugin->isUnreadableFolder(closed));
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), QStringList{library.path("file.mp3")});
        QVERIFY(library.database->allFileMarks().isEmpty());
    }

    void multiTrackFilesGetOneRowPerSubTrack()
    {
        LocalLibraryFixture library;
        // "%1" in a name reaches the log and the album as it is.
        const QString file = library.write("Games/Quest %1.NSF", "NESM");
        library.scanner->setSubTracks(subTracks(3));
        LogCapture log;
        library.scan();
        QVERIFY(log.contains(scanCategory, "Multi-track file Quest %1: 3 tracks"));
        QCOMPARE(library.scanner->scannedExtensions(), QStringList{"nsf"});
        const QList<Row> rows = library.database->allTracks();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0), Row(rows.at(0).id, "Composer", "Quest %1", "Song 1", 61, file, "nsf",
                                 LocalLibraryFixture::defaultTime(), 0, 1, {}));

        // Fewer sub-tracks after a change: the missing ones go.
        library.scanner->setSubTracks(subTracks(2));
        LocalLibraryFixture::setModified(file, LocalLibraryFixture::defaultTime().addSecs(1));
        QCOMPARE(library.scan().size(), 2);

        // A scanner failure leaves the rows there were.
        library.scanner->failScans("bad header");
        LocalLibraryFixture::setModified(file, LocalLibraryFixture::defaultTime().addSecs(2));
        QCOMPARE(library.scan().size(), 2);
        QVERIFY(log.contains(scanCategory, "Skipping unplayable multi-track file: Quest %1.NSF: bad header"));
    }

    // A batch folds the index's WAL into its file once, however many
    // multi-track files (a transaction each) it holds, and the scan leaves
    // the WAL empty. Only a checkpoint writes into the file (a commit goes
    // into the WAL), and its writes come as one event.
    void aBatchFoldsTheWalOnce()
    {
        LocalLibraryFixture library;
        library.scanner->setSubTracks(subTracks(2));
        for (int i = 0; i < 24; ++i)
            library.write(QStringLiteral("Games/Quest %1.nsf").arg(i), "NESM");
        const QFileInfo file(*library.database->filePath());
        const UniqueFd events(inotify_init1(IN_NONBLOCK));
        QVERIFY(inotify_add_watch(events.get(), QFile::encodeName(file.path()).constData(), IN_MODIFY) >= 0);
        int checkpoints = 0;
        QSet<int> batches; // the reports after a batch all see its count
        library.plugin->scanDirectories({library.music()}, [&](const ScanProgress&) {
            alignas(inotify_event) char buffer[4096];
            for (ssize_t size; (size = read(events.get(), buffer, sizeof buffer)) > 0;) {
                for (const InotifyEvent& event : InotifyEvent::parse(buffer, std::size_t(size)))
                    checkpoints += event.name == QFile::encodeName(file.fileName());
            }
            batches.insert(checkpoints);
        });
        QCOMPARE(library.database->allTracks().size(), 48);
        QVERIFY2(checkpoints <= batches.size(),
                 qPrintable(QStringLiteral("%1 checkpoints for %2 batches").arg(checkpoints).arg(batches.size())));
        QCOMPARE(QFileInfo(file.filePath() + "-wal").size(), 0);
    }

    // One file that cannot be read is skipped and logged; the scan goes on,
    // and an earlier row of it stays.
    void unreadableFilesAreSkipped()
    {
        LocalLibraryFixture library;
        const QString bad = library.write("bad.mp3");
        library.scan();
        LocalLibraryFixture::setModified(bad, LocalLibraryFixture::defaultTime().addSecs(1));
        library.extractor->failExtractions("no audio stream");
        // Sparse: takes no room on disk.
        QVERIFY(QFile::resize(library.write("huge.nsf"), FileIndexer::maximumMultiTrackFileSize + 1));
        QByteArray bytes = ZipFixture()
                               .addFile("good.nsf", "GOOD-MEMBER-BYTES", ZipFixture::Compression::stored)
                               .addFile("CD 2/bad.nsf", "BAD-MEMBER-BYTES", ZipFixture::Compression::stored)
                               .bytes(library.path("Album.zip"));
        const QString archive = library.write("Album.zip", bytes.replace("BAD-MEMBER-BYTES", "BAD-MEMBER-BYTEZ"));
        library.scanner->setSubTracks(subTracks(1));

        LogCapture log;
        QList<ScannedTrack> tracks;
        QCOMPARE(scanReporting(library, tracks).size(), 4);
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{archive + "::good.nsf", bad}));
        QCOMPARE(library.database->allFileModTimes().value(bad), LocalLibraryFixture::defaultTime());
        const QStringList lines = log.messages(scanCategory);
        QVERIFY(lines.contains("Skipping unplayable file: bad.mp3 — no audio stream"));
        QVERIFY(lines.contains("Skipping unplayable file: huge.nsf — The file \u201Chuge.nsf\u201D couldn\u2019t be "
                               "read: Too large to read into memory (268435457 bytes)"));
        // A damaged member is named as its refusal mark names it, not by its archive alone.
        QVERIFY(lines.filter(QRegularExpression("^Skipping unplayable file: Album.zip::CD 2/bad.nsf — ")).size() == 1);
        QCOMPARE(lines.last(), QStringLiteral("Scan complete"));

        // Refused files, the damaged member's archive included, are not opened
        // again while they stay the same.
        log.clear();
        const qsizetype calls = library.extractor->extractCalls().size();
        const qsizetype scans = library.scanner->scannedExtensions().size();
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), (QStringList{archive + "::good.nsf", bad}));
        QCOMPARE(library.extractor->extractCalls().size(), calls);
        QCOMPARE(library.scanner->scannedExtensions().size(), scans);
        QVERIFY(log.messages(scanCategory).filter("Skipping").isEmpty());
        // The user's rescan reads all three again.
        library.plugin->scanDirectories({library.music()}, {}, {}, {}, ScanTrigger::user);
        QCOMPARE(library.extractedPaths().mid(calls), QStringList{bad});
        QCOMPARE(log.messages(scanCategory).filter("Skipping").size(), 3);
        library.scan();
        QCOMPARE(library.extractedPaths().mid(calls), QStringList{bad});
        // A new size alone is a change.
        library.write("bad.mp3", "longer audio", LocalLibraryFixture::defaultTime().addSecs(1));
        library.scan();
        QCOMPARE(library.extractedPaths().mid(calls), (QStringList{bad, bad}));
    }

    void durationsWithoutWholeSecondsAreAbsent_data()
    {
        QTest::addColumn<double>("duration");
        QTest::addColumn<std::optional<qint64>>("stored");
        QTest::newRow("fraction") << 59.999 << std::optional<qint64>(59);
        QTest::newRow("not a number") << std::nan("") << std::optional<qint64>();
        QTest::newRow("negative") << -3.0 << std::optional<qint64>();
        QTest::newRow("beyond 64 bits") << 1e19 << std::optional<qint64>();
    }
    void durationsWithoutWholeSecondsAreAbsent()
    {
        QFETCH(double, duration);
        QFETCH(std::optional<qint64>, stored);
        LocalLibraryFixture library;
        library.write("a.mp3");
        library.write("b.nsf");
        library.extractor->setMetadata(TrackMetadata{.duration = duration});
        library.scanner->setSubTracks({ScannedSubTrack(0, "S", "", "", duration)});
        library.scan();
        const QList<Row> rows = library.database->allTracks();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).durationSeconds, stored);
        QCOMPARE(rows.at(1).durationSeconds, stored);
    }

    void atMostEightFilesAtOnce_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<bool>("inArchive");
        QTest::newRow("to the end, every progress once") << false << false;
        QTest::newRow("stopped") << true << false;
        QTest::newRow("stopped inside an archive") << true << true;
    }
    void atMostEightFilesAtOnce()
    {
        QFETCH(bool, stopped);
        QFETCH(bool, inArchive);
        LocalLibraryFixture library;
        constexpr int fileCount = 300;
        ZipFixture archive;
        for (int i = 0; i < fileCount; ++i) {
            const QString name = QStringLiteral("F%1/track%2.mp3").arg(i % 7).arg(i);
            if (inArchive)
                archive.addFile(name, "audio", ZipFixture::Compression::stored);
            else
                library.write(name);
        }
        if (inArchive)
            archive.write(library.path("Box.zip"));
        auto gated = std::make_shared<GatedExtractor>();
        gated->passing = 20;
        const auto plugin = library.makePlugin(gated);
        constexpr int most = LocalFileSourcePlugin::maximumFilesInFlight;
        std::stop_source stop;
        QList<ScanProgress> reports;
        auto scan = std::async(std::launch::async, [&] {
            return plugin->scanDirectories(
                {library.music()}, [&](const ScanProgress& p) { reports.append(p); }, stop.get_token());
        });
        const auto releaseOnFailure = qScopeGuard([&] { gated->release(); });
        QVERIFY(gated->waitForInFlight(most, std::chrono::seconds(10)));
        // Eight are held: no ninth may start meanwhile.
        QVERIFY(!gated->waitForInFlight(most + 1, std::chrono::milliseconds(200)));
        if (stopped)
            stop.request_stop();
        gated->release();
        if (stopped) {
            QVERIFY_THROWS_EXCEPTION(CancellationError, scan.get());
            // No file is started after the stop, nor by a scan stopped before it starts.
            QVERIFY_THROWS_EXCEPTION(CancellationError,
                                     plugin->scanDirectories({library.music()}, {}, stop.get_token()));
            // What was read before the stop is kept; the next scan reads the
            // rest, of an archive it stopped in too.
            QCOMPARE(gated->calls, gated->passing + most);
            const qsizetype kept = library.database->allTracks().size();
            QVERIFY2(kept >= gated->passing && kept <= gated->passing + most, qPrintable(QString::number(kept)));
            QCOMPARE(library.scan().size(), fileCount);
            return;
        }
        QCOMPARE(scan.get().size(), fileCount);
        QCOMPARE(gated->maxInFlight, most);
        QCOMPARE(gated->calls, fileCount);
        QCOMPARE(reports.size(), fileCount);
        for (int i = 0; i < fileCount; ++i)
            QCOMPARE(reports.at(i), (ScanProgress{i + 1, fileCount}));
    }

    void databaseFailureEndsTheScan()
    {
        LocalLibraryFixture library;
        library.write("first.mp3");
        library.scan();
        library.write("second.mp3");
        library.refuseInserts("disk is full");
        LogCapture log;
        int reports = 0;
        const QString failure = failureOf<MediaDatabaseError>(
            [&] { library.plugin->scanDirectories({library.music()}, [&](const ScanProgress&) { ++reports; }); });
        QVERIFY2(failure.startsWith("Media database insert failed: ") && failure.contains("disk is full"),
                 qPrintable(failure));
        QCOMPARE(reports, 0);
        QVERIFY(!log.contains(scanCategory, "Scan complete"));
        QCOMPARE(library.database->allTracks().size(), 1);
    }

    void picksTheFirstMatchingRow_data()
    {
        QTest::addColumn<Int>("hint");
        QTest::addColumn<QString>("expected");
        QTest::newRow("duration hint matches the later row") << Int(200) << QStringLiteral("long.flac");
        QTest::newRow("no hint: lowest id") << Int() << QStringLiteral("short.mp3");
        QTest::newRow("hint matches nothing: lowest id") << Int(7) << QStringLiteral("short.mp3");
    }
    void picksTheFirstMatchingRow()
    {
        QFETCH(Int, hint);
        QFETCH(QString, expected);
        LocalLibraryFixture library;
        QCOMPARE(library.plugin->name(), QStringLiteral("LocalFile"));
        QVERIFY(library.plugin->canHandle(TrackRef("vez:track:A:B:C:12#3")));
        QVERIFY(!library.plugin->canHandle(TrackRef("vez:radio:A:B:C")));
        library.database->upsert(
            {row(library.write("short.mp3"), "Song", 100), row(library.write("long.flac"), "Song", 200, {}, "flac")});
        LogCapture log;
        // The title differs only in ASCII case.
        const SourceResult result = library.plugin->resolve(TrackRef("Artist", "Album", "SONG", hint));
        QCOMPARE(result.locator, SourceLocator::fileURL(library.path(expected)));
        QCOMPARE(result.fileExtension, QFileInfo(expected).suffix());
        QCOMPARE(log.messages(resolveCategory), QStringList{"Resolved: Artist - SONG → " + library.path(expected)});
    }

    void subTracksAndUnknownTracks()
    {
        LocalLibraryFixture library;
        const QString file = library.write("game.nsf");
        library.database->upsert({row(file, "Level 1", 90, 0, "nsf"), row(file, "Émile", 80, 1, "nsf")});
        QCOMPARE(library.plugin->resolve(TrackRef("Artist", "Album", "Émile", 80, 1)).locator,
                 SourceLocator::fileURL(file));
        LogCapture log;
        // Non-ASCII letters must match exactly.
        QCOMPARE(resolveFailure(library, TrackRef("Artist", "Album", "éMILE")),
                 QStringLiteral("No file found for track: Artist - Album - éMILE"));
        QCOMPARE(log.messages(resolveCategory), QStringList{QStringLiteral("Track not found: Artist - éMILE")});
        log.clear(); // Empty fields leave no doubled separator.
        QCOMPARE(resolveFailure(library, TrackRef("", "", "Gone")), QStringLiteral("No file found for track: Gone"));
        QCOMPARE(resolveFailure(library, TrackRef("Ghost", "", "Gone")),
                 QStringLiteral("No file found for track: Ghost - Gone"));
        QCOMPARE(log.messages(resolveCategory),
                 (QStringList{"Track not found: Gone", "Track not found: Ghost - Gone"}));
    }

    void missingFilesAreReportedNotSkipped_data()
    {
        QTest::addColumn<QString>("indexedPath");
        QTest::addColumn<QString>("reportedPath");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("plain file") << "gone.mp3"
                                    << "gone.mp3"
                                    << "File missing: %1";
        QTest::newRow("archive member") << "gone.zip::in.mp3"
                                        << "gone.zip"
                                        << "Zip file missing: %1";
        QTest::newRow("no member after ::") << "odd.zip::"
                                            << "odd.zip::"
                                            << "File missing: %1";
    }
    void missingFilesAreReportedNotSkipped()
    {
        QFETCH(QString, indexedPath);
        QFETCH(QString, reportedPath);
        QFETCH(QString, logLine);
        LocalLibraryFixture library;
        library.database->upsert({row(library.path(indexedPath), "Song"), row(library.write("other.mp3"), "Song")});
        const QString reported = library.path(reportedPath);
        LogCapture log;
        QCOMPARE(resolveFailure(library, TrackRef("Artist", "Album", "Song")), "File no longer exists at " + reported);
        QCOMPARE(log.messages(resolveCategory), QStringList{logLine.arg(reported)});
        // The row stays until a scan or a file event removes it.
        QCOMPARE(library.database->allTracks().size(), 2);
    }

    // A file closed to this user (at the first part of its path) is not reported as gone.
    void unreadableFilesAreReportedAsSuch_data()
    {
        QTest::addColumn<QString>("indexed");
        QTest::newRow("closed file") << "a.mp3";
        QTest::newRow("file in a closed folder") << "closed/a.mp3";
        QTest::newRow("archive in a closed folder") << "closed/a.zip::in.mp3";
    }
    void unreadableFilesAreReportedAsSuch()
    {
        QFETCH(QString, indexed);
        LocalLibraryFixture library;
        const QString reported = library.write(indexed.section("::", 0, 0));
        library.database->upsert(row(library.path(indexed), "Song"));
        const QByteArray closed = QFile::encodeName(library.path(indexed.section(u'/', 0, 0)));
        QCOMPARE(chmod(QFile::encodeName(QFileInfo(library.music()).path()).constData(), 0755), 0);
        QCOMPARE(chmod(closed.constData(), 0), 0);
        const auto restore = qScopeGuard([&] { chmod(closed.constData(), 0755); });
        const vessa::test::UnprivilegedFileAccess unprivileged;
        LogCapture log;
        QCOMPARE(resolveFailure(library, TrackRef("Artist", "Album", "Song")),
                 "Cannot read file at " + reported + ": permission denied");
        QCOMPARE(log.messages(resolveCategory), QStringList{"File unreadable: " + reported + " (permission denied)"});
    }

    // A former mount point is away when nothing is mounted on it now (it is
    // a folder on its parent's device, unlisted), or is gone.
    void mountPointsAway_data()
    {
        using State = MountPoints::FolderState;
        QTest::addColumn<QString>("folder");
        QTest::addColumn<State>("now");
        QTest::addColumn<bool>("away");
        QTest::newRow("mount point") << "/music/share" << State{true, true} << true;
        QTest::newRow("music folder") << "/music" << State{true, true} << true;
        QTest::newRow("mounted") << "/music/share" << State{true, false} << false;
        QTest::newRow("bound from the same disk") << "/music/share" << State{true, true, false, true} << false;
        QTest::newRow("folder gone") << "/music/share" << State{false, false, true} << true;
        QTest::newRow("a file in its place") << "/music/share" << State{} << false;
        QTest::newRow("beside the music folder") << "/musical/share" << State{true, true} << false;
    }
    void mountPointsAway()
    {
        QFETCH(QString, folder);
        QFETCH(MountPoints::FolderState, now);
        QFETCH(bool, away);
        // Any other folder looks away too: only former mount points in music folders may be named.
        QStringList examined;
        const auto examine = [&](const QString& path) {
            examined.append(path);
            return path == folder ? now : MountPoints::FolderState{true, true};
        };
        QCOMPARE(MountPoints::away({"/elsewhere", folder}, {"/music/"}, examine),
                 away ? QStringList{folder} : QStringList{});
        QVERIFY(!examined.contains("/elsewhere"));
    }

    // The mount table names each mount point (a bind mount too) with its
    // escapes decoded; those in a music folder are named from the folder as
    // given, also through a link.
    void mountTableMountPoints()
    {
        const QByteArray table = "22 1 0:21 / / rw - ext4 /dev/sda1 rw\n"
                                 "31 22 0:40 / /data/music/share rw,relatime shared:7 - tmpfs tmpfs rw\n"
                                 "32 22 8:1 /elsewhere/live /data/music/My\\040Share rw - ext4 /dev/sda1 rw\n"
                                 "33 22 8:1 / /data/music/a\\134b\\011c rw - ext4 /dev/sda1 rw\n"
                                 "34 22 8:1 / /data/musical rw - ext4 /dev/sda1 rw\n"
                                 "35 22 8:1 / /data/cut short\n";
        QCOMPARE(MountTable::parse(table), (QStringList{"/", "/data/music/share", "/data/music/My Share",
                                                        "/data/music/a\\b\tc", "/data/musical"}));
        const auto resolve = [](const QString& folder) {
            return folder == "/home/me/Music" ? QStringLiteral("/data/music") : folder;
        };
        QCOMPARE(MountTable::atOrBelow(MountTable::parse(table), {"/home/me/Music/", "/data/music/share"}, resolve),
                 (QStringList{"/home/me/Music/share", "/home/me/Music/My Share", "/home/me/Music/a\\b\tc",
                              "/data/music/share"}));
    }

    // Whether a folder on the disk is listed in a mount table given as text;
    // files of its own (hidden by the mount, or put there since) do not make
    // it mounted.
    void mountTableDecidesWhatIsMounted_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("listed");
        QTest::addColumn<bool>("ownFile");
        QTest::addColumn<bool>("away");
        QTest::newRow("bound there") << "share" << QByteArray("share") << false << false;
        QTest::newRow("bound there, a blank in its name") << "My Share" << QByteArray("My\\040Share") << false << false;
        QTest::newRow("nothing mounted there") << "share" << QByteArray() << false << true;
        QTest::newRow("nothing mounted there, files of its own") << "share" << QByteArray() << true << true;
        QTest::newRow("another folder mounted") << "share" << QByteArray("share2") << false << true;
        QTest::newRow("gone") << "" << QByteArray() << false << true;
    }
    void mountTableDecidesWhatIsMounted()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, listed);
        QFETCH(bool, ownFile);
        QFETCH(bool, away);
        LocalLibraryFixture library;
        const QString music = MountTable::canonicalPath(library.music());
        if (!folder.isEmpty())
            QVERIFY(QDir().mkpath(library.path(folder)));
        if (ownFile)
            library.write(folder + "/own.mp3");
        const QString mountPoint = library.path(folder.isEmpty() ? QStringLiteral("gone") : folder);
        QByteArray table = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
        if (!listed.isEmpty())
            table += "40 22 8:1 /elsewhere " + QFile::encodeName(music) + '/' + listed + " rw - ext4 /dev/sda1 rw\n";
        const MountPoints::FolderState now = MountPoints::examine(mountPoint, MountTable::parse(table));
        QCOMPARE(MountPoints::isAway(now), away);
    }

    void archiveMembersResolveToTheirBytes()
    {
        LocalLibraryFixture library;
        const QString archive = library.path("Live.zip");
        ZipFixture().addFile("CD 1/Intro.FLAC", "member bytes").write(archive);
        library.database->upsert(
            {row(archive + "::CD 1/Intro.FLAC", "Intro", {}, {}, "flac"), row(archive + "::CD 1/Gone.mp3", "Gone")});
        LogCapture log;
        const SourceResult result = library.plugin->resolve(TrackRef("Artist", "Album", "Intro"));
        QCOMPARE(result.locator, SourceLocator::data("member bytes"));
        QCOMPARE(result.fileExtension, QStringLiteral("flac"));
        QCOMPARE(log.messages(resolveCategory),
                 QStringList{"Resolved (zip): Artist - Intro → " + archive + "::CD 1/Intro.FLAC"});
        QCOMPARE(resolveFailure(library, TrackRef("Artist", "Album", "Gone")),
                 "Entry 'CD 1/Gone.mp3' not found in zip: " + archive);
        // An archive that is no longer one fails with the archive's own error.
        library.write("Live.zip", "not an archive");
        QVERIFY_THROWS_EXCEPTION(ZipArchiveError, library.plugin->resolve(TrackRef("Artist", "Album", "Intro")));
    }

    // A scan lists an album by disc and track, not by title.
    void scanListsAlbumsByDiscAndTrack()
    {
        LocalLibraryFixture library;
        const QList<std::tuple<QString, qint64, qint64>> tags{
            {"Closing", 2, 2}, {"Opening", 1, 1}, {"Encore", 2, 1}, {"Ballad", 1, 2}};
        for (const auto& [title, disc, number] : tags)
            library.extractor->setMetadata(
                library.write(title + ".mp3"),
                TrackMetadata{.title = title, .album = "Double", .trackNumber = number, .discNumber = disc});
        QStringList titles;
        for (const ScannedTrack& track : library.scan())
            titles.append(track.title());
        QCOMPARE(titles, (QStringList{"Opening", "Ballad", "Encore", "Closing"}));
    }

    void fileEventsOnlyTouchIndexedKinds()
    {
        LocalLibraryFixture library;
        const QString same = library.write("same.mp3");
        const QString gone = library.write("Gone.MP3");
        const QString folder = library.write("Folder/inside.mp3");
        library.scan();
        library.extractor->setMetadata(same, TrackMetadata{.title = "Retagged"});
        const QString added = library.write("New/added.flac");
        const QString pipe = library.path("pipe.mp3");
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
        QVERIFY(QDir().mkpath(library.path("Dir.mp3")));
        QVERIFY(QFile::remove(gone));

        const qsizetype before = library.extractor->extractCalls().size();
        LogCapture log;
        // Modified files are read again whatever their date; text files,
        // pipes, folders and vanished files are passed over.
        const QList<ScannedTrack> tracks = library.plugin->handleFileEvents(
            Batch{{same, library.write("New/a.txt"), pipe, library.path("Dir.mp3"), library.path("lost.mp3"), added},
                  {gone, library.path("notes.txt"), library.path("Folder")},
                  false});
        QCOMPARE(library.extractedPaths().mid(before), (QStringList{same, added}));
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{folder, added, same}));
        QVERIFY(
            std::any_of(tracks.cbegin(), tracks.cend(), [](const ScannedTrack& t) { return t.title() == "Retagged"; }));
        QCOMPARE(log.messages(scanCategory),
                 (QStringList{"Removing 1 deleted file(s) from database", "Scanning 2 new/modified file(s)"}));

        // Nothing usable: the index comes back untouched, without a log line.
        log.clear();
        QCOMPARE(library.plugin->handleFileEvents(Batch{{library.path("x.txt")}, {}, true}), tracks);
        QVERIFY(log.messages(scanCategory).isEmpty());
    }

    void archiveEventsListTheArchiveAgain()
    {
        LocalLibraryFixture library;
        const QString archive = library.path("Set.zip");
        ZipFixture().addFile("a.mp3", "a").addFile("b.mp3", "b").write(archive);
        const QString loose = library.write("loose.mp3");
        library.scan();
        // Rewritten: one member gone, one added, one kept.
        ZipFixture().addFile("b.mp3", "b2").addFile("c.flac", "c").write(archive);
        const qsizetype before = library.extractor->extractCalls().size();
        QList<ScannedTrack> tracks = library.plugin->handleFileEvents(Batch{{archive, loose}, {}, false});
        QCOMPARE(LocalLibraryFixture::filePaths(tracks),
                 (QStringList{archive + "::b.mp3", archive + "::c.flac", loose}));
        QList<SourceLocator> read;
        for (const auto& call : library.extractor->extractCalls().mid(before))
            read.append(call.locator);
        // Files first, then the archive's members in its order.
        QCOMPARE(read, (QList<SourceLocator>{SourceLocator::fileURL(loose), SourceLocator::data("b2"),
                                             SourceLocator::data("c")}));
        QCOMPARE(library.plugin->trackCount(library.music() + "/"), 3); // members count under their archive's folder
        // Removed: its members go with it, and come back with it unchanged.
        const QString away = library.path("../Set.zip");
        QVERIFY(QFile::rename(archive, away));
        tracks = library.plugin->handleFileEvents(Batch{{}, {archive}, false});
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), QStringList{loose});
        QVERIFY(QFile::rename(away, archive));
        QCOMPARE(library.scan().size(), 3);
        library.plugin->removeTracks(library.music());
        QCOMPARE(library.plugin->trackCount(library.music()), 0);
        QCOMPARE(library.scan().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestLocalFileSource)
#include "tst_localfilesource.moc"
