#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "tests/support/LocalLibraryFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ZipFixture.h"

#include <QTest>

#include <sys/stat.h>

using namespace vessa;
using vessa::test::LocalLibraryFixture;
using vessa::test::LogCapture;
using vessa::test::ZipFixture;
using Batch = DirectoryWatcher::EventBatch;

namespace {

const QString scanCategory = QStringLiteral("com.tornwick.rasko.localfile.scan");

} // namespace

class TestLocalFileSourceEvents : public QObject {
    Q_OBJECT

private slots:
    void removedPathsOfIndexedKindsLoseTheirRows()
    {
        LocalLibraryFixture library;
        const QString kept = library.write(QStringLiteral("kept.mp3"));
        const QString gone = library.write(QStringLiteral("Gone.MP3"));
        const QString folder = library.write(QStringLiteral("Folder/inside.mp3"));
        library.scan();
        LogCapture log;
        const QList<ScannedTrack> tracks = library.plugin->handleFileEvents(
            Batch{{}, {gone, library.path(QStringLiteral("notes.txt")), library.path(QStringLiteral("Folder"))}, false});
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{folder, kept}));
        QCOMPARE(log.messages(scanCategory), QStringList{"Removing 1 deleted file(s) from database"});
    }

    void modifiedFilesAreReadAgainWhateverTheirDate()
    {
        LocalLibraryFixture library;
        const QString same = library.write(QStringLiteral("same.mp3"));
        library.scan();
        library.extractor->setMetadata(same, TrackMetadata{.title = QStringLiteral("Retagged")});
        const QString added = library.write(QStringLiteral("New/added.flac"));
        const QString text = library.write(QStringLiteral("New/readme.txt"));
        const QString pipe = library.path(QStringLiteral("pipe.mp3"));
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
        QVERIFY(QDir().mkpath(library.path(QStringLiteral("Dir.mp3"))));

        const qsizetype before = library.extractor->extractCalls().size();
        LogCapture log;
        const QList<ScannedTrack> tracks = library.plugin->handleFileEvents(Batch{
            {same, text, pipe, library.path(QStringLiteral("Dir.mp3")), library.path(QStringLiteral("vanished.mp3")),
             added},
            {},
            false});
        QCOMPARE(library.extractedPaths().mid(before), (QStringList{same, added}));
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{added, same}));
        QVERIFY(std::any_of(tracks.cbegin(), tracks.cend(),
                            [](const ScannedTrack& t) { return t.title == QStringLiteral("Retagged"); }));
        QCOMPARE(log.messages(scanCategory), QStringList{"Scanning 2 new/modified file(s)"});
    }

    void archivesAreListedAgain()
    {
        LocalLibraryFixture library;
        const QString archive = library.path(QStringLiteral("Set.zip"));
        ZipFixture().addFile("a.mp3", "a").addFile("b.mp3", "b").write(archive);
        const QString loose = library.write(QStringLiteral("loose.mp3"));
        library.scan();

        // Rewritten: one member gone, one added, one kept.
        ZipFixture().addFile("b.mp3", "b2").addFile("c.flac", "c").write(archive);
        const qsizetype before = library.extractor->extractCalls().size();
        LogCapture log;
        QList<ScannedTrack> tracks = library.plugin->handleFileEvents(Batch{{archive, loose}, {}, false});
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), (QStringList{archive + "::b.mp3", archive + "::c.flac", loose}));
        const auto calls = library.extractor->extractCalls().mid(before);
        QCOMPARE(calls.size(), 3);
        // Files first, then the archive's members in its order.
        QCOMPARE(calls.at(0).locator, SourceLocator::fileURL(loose));
        QCOMPARE(calls.at(1).locator, SourceLocator::data("b2"));
        QCOMPARE(calls.at(2).locator, SourceLocator::data("c"));
        QCOMPARE(log.messages(scanCategory).last(), QStringLiteral("Scanning 3 new/modified file(s)"));

        // Removed: its members go with it.
        QVERIFY(QFile::remove(archive));
        tracks = library.plugin->handleFileEvents(Batch{{}, {archive}, false});
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), QStringList{loose});
    }

    void nothingUsableStillGivesTheIndex()
    {
        LocalLibraryFixture library;
        library.write(QStringLiteral("a.mp3"));
        const QList<ScannedTrack> scanned = library.scan();
        LogCapture log;
        QCOMPARE(library.plugin->handleFileEvents(Batch{}), scanned);
        QCOMPARE(library.plugin->handleFileEvents(Batch{{library.path(QStringLiteral("x.txt"))}, {}, true}), scanned);
        QVERIFY(log.messages(scanCategory).isEmpty());
    }

    void unplayableFileDoesNotStopTheBatch()
    {
        LocalLibraryFixture library;
        const QString first = library.write(QStringLiteral("first.mp3"));
        const QString second = library.write(QStringLiteral("second.nsf"));
        library.scanner->setSubTracks({ScannedSubTrack(0, "Theme", "", "", 30.0)});
        library.extractor->failExtractions(QStringLiteral("cannot decode"));
        LogCapture log;
        const QList<ScannedTrack> tracks = library.plugin->handleFileEvents(Batch{{first, second}, {}, false});
        QCOMPARE(LocalLibraryFixture::filePaths(tracks), QStringList{second});
        QVERIFY(log.contains(scanCategory, QStringLiteral("Skipping unplayable file: first.mp3 — cannot decode")));
    }

    void databaseFailureIsPassedOn()
    {
        LocalLibraryFixture library;
        const QString file = library.write(QStringLiteral("a.mp3"));
        library.refuseInserts(QStringLiteral("disk is full"));
        try {
            library.plugin->handleFileEvents(Batch{{file}, {}, false});
            QFAIL("the batch succeeded");
        } catch (const MediaDatabaseError& error) {
            QVERIFY2(error.reason().contains(QStringLiteral("disk is full")), qPrintable(error.reason()));
        }
    }
};

QTEST_GUILESS_MAIN(TestLocalFileSourceEvents)
#include "tst_localfilesourceevents.moc"
