#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "tests/support/LocalLibraryFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ZipFixture.h"

#include <QScopeGuard>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

using namespace vessa;
using vessa::test::FakeMetadataExtractor;
using vessa::test::LocalLibraryFixture;
using vessa::test::LogCapture;
using vessa::test::ZipFixture;
using Row = MediaDatabase::TrackRow;

namespace {

const QString scanCategory = QStringLiteral("com.tornwick.rasko.localfile.scan");

// Holds every extraction until released, and counts how many overlap.
class GatedExtractor : public MetadataExtractor {
public:
    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64>) override
    {
        std::unique_lock lock(m_mutex);
        ++m_calls;
        ++m_inFlight;
        m_maxInFlight = std::max(m_maxInFlight, m_inFlight);
        m_changed.notify_all();
        m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_released; });
        --m_inFlight;
        return TrackMetadata{.title = lastPathComponent(locator.path())};
    }

    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    bool waitForInFlight(int count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_inFlight >= count; });
    }
    int maxInFlight() const
    {
        std::lock_guard lock(m_mutex);
        return m_maxInFlight;
    }
    int calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
    int m_inFlight = 0;
    int m_maxInFlight = 0;
    int m_calls = 0;
};

// Runs a scan on its own thread; join() gives its result or rethrows.
class BackgroundScan {
public:
    BackgroundScan(std::shared_ptr<LocalFileSourcePlugin> plugin, QStringList folders,
                   LocalFileSourcePlugin::ProgressCallback progress, std::stop_token stop)
        : m_thread([=, this] {
              try {
                  m_result = plugin->scanDirectories(folders, progress, stop);
              } catch (...) {
                  m_failure = std::current_exception();
              }
          })
    {
    }
    QList<ScannedTrack> join()
    {
        m_thread.join();
        if (m_failure)
            std::rethrow_exception(m_failure);
        return m_result;
    }

private:
    QList<ScannedTrack> m_result;
    std::exception_ptr m_failure;
    std::jthread m_thread;
};

QList<ScannedSubTrack> subTracks(int count)
{
    QList<ScannedSubTrack> list;
    for (int i = 0; i < count; ++i)
        list.append(ScannedSubTrack(i, QStringLiteral("Song %1").arg(i + 1), QStringLiteral("Composer"), QString(),
                                    i == 0 ? std::optional<double>(61.75) : std::nullopt));
    return list;
}

} // namespace

class TestLocalFileSourceScan : public QObject {
    Q_OBJECT

private slots:
    void coldScanWritesOneRowPerFileAndReportsEachOnce()
    {
        LocalLibraryFixture library;
        const QString tagged = library.write(QStringLiteral("A/Album/01 Tagged.mp3"));
        const QString untagged = library.write(QStringLiteral("B/Untagged.flac"));
        const QString loud = library.write(QStringLiteral("B/LOUD.MP3"));
        const QString hidden = library.write(QStringLiteral(".hidden/.also.mp3"));
        library.write(QStringLiteral("B/cover.jpg"));
        library.write(QStringLiteral("B/notes.txt"));
        library.extractor->setMetadata(tagged, TrackMetadata{.title = QStringLiteral("Tagged"),
                                                             .artist = QStringLiteral("Artist"),
                                                             .album = QString(),
                                                             .duration = 12.9,
                                                             .trackNumber = 3,
                                                             .discNumber = 1});

        QList<ScanProgress> reports;
        LogCapture log;
        const QList<ScannedTrack> tracks = library.plugin->scanDirectories(
            {library.music() + u'/'}, [&](const ScanProgress& progress) { reports.append(progress); });

        QCOMPARE(reports, (QList<ScanProgress>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{hidden, tagged, loud, untagged}));
        QCOMPARE(log.messages(scanCategory).first(), QStringLiteral("Starting scan of 1 directories"));
        QVERIFY(log.contains(scanCategory, QStringLiteral("Found 4 audio files, 4 new/modified")));
        QCOMPARE(log.messages(scanCategory).last(), QStringLiteral("Scan complete"));

        const QList<Row> rows = library.database->allTracks();
        QCOMPARE(rows.size(), 4);
        for (const Row& row : rows) {
            QCOMPARE(row.lastModified, LocalLibraryFixture::defaultTime());
            if (row.filePath == tagged) {
                // A tag that is present but empty stays empty.
                QCOMPARE(row, Row(row.id, "Artist", "", "Tagged", 12, tagged, "mp3", row.lastModified, std::nullopt,
                                  3, 1));
            } else if (row.filePath == loud) {
                QCOMPARE(row, Row(row.id, "", "", "LOUD", std::nullopt, loud, "mp3", row.lastModified, std::nullopt,
                                  std::nullopt, std::nullopt));
            } else if (row.filePath == untagged) {
                QCOMPARE(row.title, QStringLiteral("Untagged"));
                QCOMPARE(row.fileExtension, QStringLiteral("flac"));
            }
        }
        const ScannedTrack first = tracks.constFirst();
        const Row& firstRow = rows.constFirst();
        QCOMPARE(first, LocalFileSourcePlugin::scannedTrack(firstRow));
        const auto taggedTrack = std::find_if(tracks.cbegin(), tracks.cend(),
                                              [&](const ScannedTrack& t) { return t.fileURL == tagged; });
        QCOMPARE(taggedTrack->ref, TrackRef("Artist", "", "Tagged", 12));
        QCOMPARE(taggedTrack->duration, std::optional<double>(12.0));
    }

    void unchangedLibraryReadsNothing()
    {
        LocalLibraryFixture library;
        library.write(QStringLiteral("one.mp3"));
        library.write(QStringLiteral("two.zip.mp3"));
        ZipFixture().addFile("in.mp3", "member").write(library.path(QStringLiteral("set.zip")));
        const QList<ScannedTrack> before = library.scan();
        QCOMPARE(before.size(), 3);
        const qsizetype calls = library.extractor->extractCalls().size();

        int reports = 0;
        LogCapture log;
        const QList<ScannedTrack> after = library.plugin->scanDirectories(
            {library.music()}, [&](const ScanProgress&) { ++reports; });
        QCOMPARE(after, before);
        QCOMPARE(reports, 0);
        QCOMPARE(library.extractor->extractCalls().size(), calls);
        QVERIFY(log.contains(scanCategory, QStringLiteral("Found 3 audio files, 0 new/modified")));
        QCOMPARE(log.messages(scanCategory).count(QStringLiteral("Scan complete")), 1);
    }

    void changedTimeReReadsOnlyThatFile_data()
    {
        QTest::addColumn<qint64>("shift");
        QTest::newRow("later") << qint64(60'000);
        QTest::newRow("earlier (an older copy put back)") << qint64(-86'400'000);
        QTest::newRow("one millisecond") << qint64(1);
    }
    void changedTimeReReadsOnlyThatFile()
    {
        QFETCH(qint64, shift);
        LocalLibraryFixture library;
        library.write(QStringLiteral("same.mp3"));
        const QString changed = library.write(QStringLiteral("changed.mp3"));
        library.scan();
        library.extractor->setMetadata(changed, TrackMetadata{.title = QStringLiteral("New title")});
        const QDateTime newTime = LocalLibraryFixture::defaultTime().addMSecs(shift);
        LocalLibraryFixture::setModified(changed, newTime);

        const qsizetype before = library.extractor->extractCalls().size();
        const QList<ScannedTrack> tracks = library.scan();
        QCOMPARE(library.extractedPaths().mid(before), QStringList{changed});
        QCOMPARE(tracks.size(), 2);
        QCOMPARE(library.database->allFileModTimes().value(changed), newTime);
        QVERIFY(std::any_of(tracks.cbegin(), tracks.cend(),
                            [](const ScannedTrack& t) { return t.title == QStringLiteral("New title"); }));
    }

    void goneFilesAndFoldersLoseTheirRows()
    {
        LocalLibraryFixture library;
        const QString kept = library.write(QStringLiteral("kept.mp3"));
        const QString deleted = library.write(QStringLiteral("deleted.mp3"));
        library.write(QStringLiteral("Old/a.mp3"));
        library.write(QStringLiteral("Old/b.mp3"));
        QCOMPARE(library.scan().size(), 4);

        QVERIFY(QFile::remove(deleted));
        QVERIFY(QDir(library.path(QStringLiteral("Old"))).removeRecursively());
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), QStringList{kept});

        // No music folders at all: nothing is left.
        QVERIFY(library.plugin->scanDirectories({}).isEmpty());
        QVERIFY(library.database->allTracks().isEmpty());
    }

    void archivesAreListedNeverIndexed()
    {
        LocalLibraryFixture library;
        const QString archive = library.path(QStringLiteral("Live.ZIP"));
        ZipFixture()
            .addFolder("CD1")
            .addFile("CD1/Opening.MP3", "first")
            .addFile("CD1/Encore.flac", "second", ZipFixture::Compression::stored)
            .addFile("CD1/booklet.pdf", "pdf")
            .write(archive);
        LocalLibraryFixture::setModified(archive, LocalLibraryFixture::defaultTime());
        // "zip" is among the fixture's extensions: the archive still is not a file.
        const QList<ScannedTrack> tracks = library.scan();
        QCOMPARE(LocalLibraryFixture::filePaths(tracks),
                 (QStringList{archive + "::CD1/Encore.flac", archive + "::CD1/Opening.MP3"}));

        QStringList titles;
        QList<QByteArray> bytes;
        for (const ScannedTrack& track : tracks)
            titles.append(track.title);
        for (const FakeMetadataExtractor::ExtractCall& call : library.extractor->extractCalls()) {
            QVERIFY(call.locator.isData());
            bytes.append(call.locator.bytes());
        }
        // Each member is titled after its own name, so the two are different tracks.
        titles.sort();
        QCOMPARE(titles, (QStringList{"Encore", "Opening"}));
        std::sort(bytes.begin(), bytes.end());
        QCOMPARE(bytes, (QList<QByteArray>{"first", "second"}));
        for (const Row& row : library.database->allTracks())
            QCOMPARE(row.lastModified, LocalLibraryFixture::defaultTime());

        // Rewritten without one member: its row goes with the next scan.
        ZipFixture().addFile("CD1/Encore.flac", "second").write(archive);
        LocalLibraryFixture::setModified(archive, LocalLibraryFixture::defaultTime().addSecs(5));
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), QStringList{archive + "::CD1/Encore.flac"});
    }

    void onlyRegularFilesAreRead()
    {
        LocalLibraryFixture library;
        const QString real = library.write(QStringLiteral("Album/real.mp3"));
        QVERIFY(mkfifo(QFile::encodeName(library.path(QStringLiteral("Album/pipe.mp3"))).constData(), 0644) == 0);
        QVERIFY(mkfifo(QFile::encodeName(library.path(QStringLiteral("Album/pipe.zip"))).constData(), 0644) == 0);
        QVERIFY(QDir().mkpath(library.path(QStringLiteral("Folder.mp3"))));
        const QString inside = library.write(QStringLiteral("Folder.mp3/inside.mp3"));
        const QString fileLink = library.path(QStringLiteral("link.mp3"));
        QVERIFY(QFile::link(real, fileLink));
        QVERIFY(QFile::link(library.path(QStringLiteral("missing.mp3")), library.path(QStringLiteral("dangling.mp3"))));
        // A link back up the tree would loop forever if it were followed.
        QVERIFY(QFile::link(library.music(), library.path(QStringLiteral("Album/loop"))));
        QVERIFY(QFile::link(library.path(QStringLiteral("Album")), library.path(QStringLiteral("alias.mp3"))));

        const QList<ScannedTrack> tracks = library.scan();
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{real, inside, fileLink}));
    }

    void unreadableMusicFolderKeepsTheIndex_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("a file") << QStringLiteral("file.mp3");
    }
    void unreadableMusicFolderKeepsTheIndex()
    {
        QFETCH(QString, folder);
        LocalLibraryFixture library;
        library.write(QStringLiteral("file.mp3"));
        library.scan();
        const QString bad = library.path(folder);
        try {
            library.plugin->scanDirectories({library.music(), bad});
            QFAIL("the scan succeeded");
        } catch (const LocalFileError& error) {
            QCOMPARE(error.kind(), LocalFileError::Kind::cannotEnumerate);
            QCOMPARE(error.description(), "Cannot enumerate directory: " + bad);
        }
        QCOMPARE(library.database->allTracks().size(), 1);
    }

    void unreadableSubfolderIsSkipped()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not restrict the superuser");
        LocalLibraryFixture library;
        const QString readable = library.write(QStringLiteral("open/a.mp3"));
        library.write(QStringLiteral("closed/b.mp3"));
        const QByteArray closed = QFile::encodeName(library.path(QStringLiteral("closed")));
        QCOMPARE(chmod(closed.constData(), 0), 0);
        const auto restore = qScopeGuard([&] { chmod(closed.constData(), 0755); });
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), QStringList{readable});
    }

    void multiTrackFilesGetOneRowPerSubTrack()
    {
        LocalLibraryFixture library;
        const QString file = library.write(QStringLiteral("Games/Quest.NSF"), "NESM");
        library.scanner->setSubTracks(subTracks(3));
        LogCapture log;
        library.scan();
        QVERIFY(log.contains(scanCategory, QStringLiteral("Multi-track file Quest: 3 tracks")));
        QCOMPARE(library.scanner->scannedExtensions(), QStringList{"nsf"});
        QVERIFY(library.extractor->extractCalls().isEmpty());
        QList<Row> rows = library.database->allTracks();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0), Row(rows.at(0).id, "Composer", "Quest", "Song 1", 61, file, "nsf",
                                 LocalLibraryFixture::defaultTime(), 0, 1, std::nullopt));
        QCOMPARE(rows.at(2).subTrackIndex, std::optional<qint64>(2));
        QCOMPARE(rows.at(2).trackNumber, std::optional<qint64>(3));
        QCOMPARE(LocalFileSourcePlugin::scannedTrack(rows.at(2)).ref,
                 TrackRef("Composer", "Quest", "Song 3", std::nullopt, 2));

        // Fewer sub-tracks after a change: the missing ones go.
        library.scanner->setSubTracks(subTracks(2));
        LocalLibraryFixture::setModified(file, LocalLibraryFixture::defaultTime().addSecs(1));
        library.scan();
        QCOMPARE(library.database->allTracks().size(), 2);

        // A scanner failure leaves the rows there were.
        library.scanner->failScans(QStringLiteral("bad header"));
        LocalLibraryFixture::setModified(file, LocalLibraryFixture::defaultTime().addSecs(2));
        log.clear();
        QCOMPARE(library.scan().size(), 2);
        QVERIFY(log.contains(scanCategory, QStringLiteral("Skipping unplayable multi-track file: Quest.NSF: bad header")));
        QVERIFY(log.contains(scanCategory, QStringLiteral("Scan complete")));
    }

    void oversizedMultiTrackFileIsSkipped()
    {
        LocalLibraryFixture library;
        const QString huge = library.write(QStringLiteral("huge.nsf"));
        // Sparse: takes no room on disk.
        QVERIFY(QFile::resize(huge, FileIndexer::maximumMultiTrackFileSize + 1));
        library.write(QStringLiteral("small.nsf"));
        library.scanner->setSubTracks(subTracks(1));
        LogCapture log;
        QCOMPARE(library.scan().size(), 1);
        QCOMPARE(library.scanner->scannedExtensions().size(), 1);
        QVERIFY(log.contains(scanCategory, QStringLiteral("Skipping unplayable file: huge.nsf — The file \u201Chuge.nsf\u201D "
                                                          "couldn\u2019t be read: Too large to read into memory "
                                                          "(268435457 bytes)")));
    }

    void multiTrackMembersAreAlbumsOfTheirOwn()
    {
        LocalLibraryFixture library;
        const QString archive = library.path(QStringLiteral("Chips.zip"));
        ZipFixture().addFile("Alpha.nsf", "A").addFile("Beta.nsf", "B").write(archive);
        library.scanner->setSubTracks(subTracks(1));
        const QList<ScannedTrack> tracks = library.scan();
        QCOMPARE(tracks.size(), 2);
        QCOMPARE(tracks.at(0).album, QStringLiteral("Alpha"));
        QCOMPARE(tracks.at(1).album, QStringLiteral("Beta"));
        QVERIFY(tracks.at(0).ref != tracks.at(1).ref);
    }

    void unplayableFilesAreSkippedAndLogged()
    {
        LocalLibraryFixture library;
        const QString good = library.write(QStringLiteral("good.mp3"));
        const QString bad = library.write(QStringLiteral("bad.mp3"));
        library.scan();
        // Both change; now the bad one cannot be read: its old row stays and
        // it is tried again by the next scan.
        LocalLibraryFixture::setModified(good, LocalLibraryFixture::defaultTime().addSecs(1));
        LocalLibraryFixture::setModified(bad, LocalLibraryFixture::defaultTime().addSecs(1));
        library.extractor->setMetadata(good, TrackMetadata{.title = QStringLiteral("Good")});
        library.extractor->failExtractions(QStringLiteral("no audio stream"));
        LogCapture log;
        int reports = 0;
        library.plugin->scanDirectories({library.music()}, [&](const ScanProgress&) { ++reports; });
        QCOMPARE(reports, 2);
        QVERIFY(log.contains(scanCategory, QStringLiteral("Skipping unplayable file: bad.mp3 — no audio stream")));
        QVERIFY(log.contains(scanCategory, QStringLiteral("Scan complete")));
        QCOMPARE(library.database->allTracks().size(), 2);
        QCOMPARE(library.database->allFileModTimes().value(bad), LocalLibraryFixture::defaultTime());
    }

    void damagedArchiveMemberIsSkipped()
    {
        LocalLibraryFixture library;
        const QString archive = library.path(QStringLiteral("Album.zip"));
        QByteArray bytes = ZipFixture()
                               .addFile("good.mp3", "GOOD-MEMBER-BYTES", ZipFixture::Compression::stored)
                               .addFile("bad.mp3", "BAD-MEMBER-BYTES", ZipFixture::Compression::stored)
                               .bytes(archive);
        const qsizetype at = bytes.indexOf("BAD-MEMBER-BYTES");
        QVERIFY(at > 0);
        bytes[at] = 'X';
        QFile out(archive);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();

        LogCapture log;
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), QStringList{archive + "::good.mp3"});
        const QStringList messages = log.messages(scanCategory);
        QVERIFY(std::any_of(messages.cbegin(), messages.cend(), [](const QString& m) {
            return m.startsWith(QStringLiteral("Skipping unplayable file: Album.zip — "));
        }));
        QCOMPARE(messages.last(), QStringLiteral("Scan complete"));
    }

    void durationsWithoutWholeSecondsAreAbsent_data()
    {
        QTest::addColumn<double>("duration");
        QTest::addColumn<std::optional<qint64>>("stored");
        QTest::newRow("fraction") << 59.999 << std::optional<qint64>(59);
        QTest::newRow("zero") << 0.0 << std::optional<qint64>(0);
        QTest::newRow("not a number") << std::nan("") << std::optional<qint64>();
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << std::optional<qint64>();
        QTest::newRow("negative") << -3.0 << std::optional<qint64>();
        QTest::newRow("beyond 64 bits") << 1e19 << std::optional<qint64>();
    }
    void durationsWithoutWholeSecondsAreAbsent()
    {
        QFETCH(double, duration);
        QFETCH(std::optional<qint64>, stored);
        LocalLibraryFixture library;
        library.write(QStringLiteral("a.mp3"));
        library.extractor->setMetadata(TrackMetadata{.duration = duration});
        library.scanner->setSubTracks({ScannedSubTrack(0, "S", "", "", duration)});
        library.write(QStringLiteral("b.nsf"));
        library.scan();
        const QList<Row> rows = library.database->allTracks();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).durationSeconds, stored);
        QCOMPARE(rows.at(1).durationSeconds, stored);
    }

    void manyFilesAtMostEightAtOnceAndEveryProgressOnce()
    {
        LocalLibraryFixture library;
        constexpr int fileCount = 300;
        for (int i = 0; i < fileCount; ++i)
            library.write(QStringLiteral("F%1/track%2.mp3").arg(i % 7).arg(i));
        auto gated = std::make_shared<GatedExtractor>();
        const auto plugin = library.makePlugin(gated);
        constexpr int most = LocalFileSourcePlugin::maximumFilesInFlight;

        QList<qint64> completed;
        bool totalsRight = true;
        BackgroundScan scan(plugin, {library.music()}, [&](const ScanProgress& p) {
            completed.append(p.completed);
            totalsRight = totalsRight && p.total == fileCount;
        }, {});
        const auto releaseOnFailure = qScopeGuard([&] { gated->release(); });
        QVERIFY(gated->waitForInFlight(most));
        // Eight are held: no ninth may start meanwhile.
        QVERIFY(!gated->waitForInFlight(most + 1, std::chrono::milliseconds(200)));
        gated->release();
        QCOMPARE(scan.join().size(), fileCount);
        QCOMPARE(gated->maxInFlight(), most);
        QCOMPARE(gated->calls(), fileCount);
        QVERIFY(totalsRight);
        QCOMPARE(completed.size(), fileCount);
        for (int i = 0; i < fileCount; ++i)
            QCOMPARE(completed.at(i), qint64(i + 1));
    }

    void stoppingEndsTheScan()
    {
        LocalLibraryFixture library;
        for (int i = 0; i < 40; ++i)
            library.write(QStringLiteral("t%1.mp3").arg(i));
        auto gated = std::make_shared<GatedExtractor>();
        const auto plugin = library.makePlugin(gated);
        constexpr int most = LocalFileSourcePlugin::maximumFilesInFlight;

        std::stop_source stop;
        BackgroundScan scan(plugin, {library.music()}, {}, stop.get_token());
        const auto releaseOnFailure = qScopeGuard([&] { gated->release(); });
        QVERIFY(gated->waitForInFlight(most));
        stop.request_stop();
        gated->release();
        QVERIFY_THROWS_EXCEPTION(CancellationError, scan.join());
        // No file was started after the stop.
        QCOMPARE(gated->calls(), most);
        QVERIFY(library.database->allTracks().size() <= most);

        // Stopped before it starts: nothing is read.
        QVERIFY_THROWS_EXCEPTION(CancellationError, plugin->scanDirectories({library.music()}, {}, stop.get_token()));
        QCOMPARE(gated->calls(), most);
    }

    void databaseFailureEndsTheScan()
    {
        LocalLibraryFixture library;
        library.write(QStringLiteral("first.mp3"));
        library.scan();
        library.write(QStringLiteral("second.mp3"));
        library.refuseInserts(QStringLiteral("disk is full"));
        LogCapture log;
        int reports = 0;
        try {
            library.plugin->scanDirectories({library.music()}, [&](const ScanProgress&) { ++reports; });
            QFAIL("the scan succeeded");
        } catch (const MediaDatabaseError& error) {
            QCOMPARE(error.kind(), MediaDatabaseError::Kind::insertFailed);
            QVERIFY2(error.reason().contains(QStringLiteral("disk is full")), qPrintable(error.reason()));
        }
        QCOMPARE(reports, 0);
        QVERIFY(!log.contains(scanCategory, QStringLiteral("Scan complete")));
        QCOMPARE(library.database->allTracks().size(), 1);
    }

    void overlappingFoldersCountAFileOnce()
    {
        LocalLibraryFixture library;
        library.write(QStringLiteral("Sub/a.mp3"));
        int reports = 0;
        const QList<ScannedTrack> tracks = library.plugin->scanDirectories(
            {library.music(), library.path(QStringLiteral("Sub"))}, [&](const ScanProgress&) { ++reports; });
        QCOMPARE(tracks.size(), 1);
        QCOMPARE(reports, 1);
    }
};

QTEST_GUILESS_MAIN(TestLocalFileSourceScan)
#include "tst_localfilesourcescan.moc"
