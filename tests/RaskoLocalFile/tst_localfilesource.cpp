#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/ZipArchiveError.h"
#include "tests/support/LocalLibraryFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ZipFixture.h"

#include <QTest>

#include <sys/stat.h>

using namespace vessa;
using vessa::test::failureOf;
using vessa::test::LocalLibraryFixture;
using vessa::test::LogCapture;
using vessa::test::ZipFixture;
using Batch = DirectoryWatcher::EventBatch;
using Int = std::optional<qint64>;
using Row = MediaDatabase::TrackRow;

namespace {

const QString resolveCategory = QStringLiteral("com.tornwick.rasko.localfile.resolve");
const QString scanCategory = QStringLiteral("com.tornwick.rasko.localfile.scan");

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
        library.database->upsert({row(library.write("short.mp3"), "Song", 100),
                                  row(library.write("long.flac"), "Song", 200, {}, "flac")});
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
    }

    void missingFilesAreReportedNotSkipped_data()
    {
        QTest::addColumn<QString>("indexedPath");
        QTest::addColumn<QString>("reportedPath");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("plain file") << "gone.mp3" << "gone.mp3" << "File missing: %1";
        QTest::newRow("archive member") << "gone.zip::in.mp3" << "gone.zip" << "Zip file missing: %1";
        QTest::newRow("no member after ::") << "odd.zip::" << "odd.zip::" << "File missing: %1";
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

    void archiveMembersResolveToTheirBytes()
    {
        LocalLibraryFixture library;
        const QString archive = library.path("Live.zip");
        ZipFixture().addFile("CD 1/Intro.FLAC", "member bytes").write(archive);
        library.database->upsert({row(archive + "::CD 1/Intro.FLAC", "Intro", {}, {}, "flac"),
                                  row(archive + "::CD 1/Gone.mp3", "Gone")});
        LogCapture log;
        const SourceResult result = library.plugin->resolve(TrackRef("Artist", "Album", "Intro"));
        QCOMPARE(result.locator, SourceLocator::data("member bytes"));
        QCOMPARE(result.fileExtension, QStringLiteral("flac"));
        QCOMPARE(log.messages(resolveCategory),
                 QStringList{"Resolved (zip): Artist - Intro → " + archive + "::CD 1/Intro.FLAC"});
        QCOMPARE(resolveFailure(library, TrackRef("Artist", "Album", "Gone")),
                 "Entry 'CD 1/Gone.mp3' not found in zip: " + archive);
        // An archive that is no longer one fails with the archive's own error.
        QFile damaged(archive);
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate) && damaged.write("not an archive") > 0);
        damaged.close();
        QVERIFY_THROWS_EXCEPTION(ZipArchiveError, library.plugin->resolve(TrackRef("Artist", "Album", "Intro")));
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
            Batch{{same, library.write("New/readme.txt"), pipe, library.path("Dir.mp3"), library.path("vanished.mp3"), added},
                  {gone, library.path("notes.txt"), library.path("Folder")},
                  false});
        QCOMPARE(library.extractedPaths().mid(before), (QStringList{same, added}));
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{folder, added, same}));
        QVERIFY(std::any_of(tracks.cbegin(), tracks.cend(), [](const ScannedTrack& t) { return t.title == "Retagged"; }));
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
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{archive + "::b.mp3", archive + "::c.flac", loose}));
        QList<SourceLocator> read;
        for (const auto& call : library.extractor->extractCalls().mid(before))
            read.append(call.locator);
        // Files first, then the archive's members in its order.
        QCOMPARE(read, (QList<SourceLocator>{SourceLocator::fileURL(loose), SourceLocator::data("b2"), SourceLocator::data("c")}));
        QCOMPARE(library.plugin->trackCount(library.music() + "/"), 3); // members count under their archive's folder
        // Removed: its members go with it.
        QVERIFY(QFile::remove(archive));
        tracks = library.plugin->handleFileEvents(Batch{{}, {archive}, false});
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), QStringList{loose});
        library.plugin->removeTracks(library.music());
        QCOMPARE(library.plugin->trackCount(library.music()), 0);
    }
};

QTEST_GUILESS_MAIN(TestLocalFileSource)
#include "tst_localfilesource.moc"
