#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/ZipArchiveError.h"
#include "tests/support/LocalLibraryFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ZipFixture.h"

#include <QTest>

using namespace vessa;
using vessa::test::LocalLibraryFixture;
using vessa::test::LogCapture;
using vessa::test::ZipFixture;
using Row = MediaDatabase::TrackRow;

namespace {

const QString resolveCategory = QStringLiteral("com.tornwick.rasko.localfile.resolve");

Row row(const QString& path, const QString& title, std::optional<qint64> duration = std::nullopt,
        std::optional<qint64> subTrack = std::nullopt, const QString& ext = QStringLiteral("mp3"))
{
    return Row(0, QStringLiteral("Artist"), QStringLiteral("Album"), title, duration, path, ext,
               LocalLibraryFixture::defaultTime(), subTrack, std::nullopt, std::nullopt);
}

// The description of the LocalFileError that resolving `ref` raises.
QString failureOf(LocalLibraryFixture& library, const TrackRef& ref)
{
    try {
        library.plugin->resolve(ref);
    } catch (const LocalFileError& error) {
        return error.description();
    }
    return QStringLiteral("resolved");
}

} // namespace

class TestLocalFileSourceResolve : public QObject {
    Q_OBJECT

private slots:
    void nameAndSchemes()
    {
        LocalLibraryFixture library;
        QCOMPARE(library.plugin->name(), QStringLiteral("LocalFile"));
        QVERIFY(library.plugin->canHandle(TrackRef("vez:track:A:B:C:12#3")));
        QVERIFY(!library.plugin->canHandle(TrackRef("vez:radio:A:B:C")));
    }

    void picksTheFirstMatchingRow_data()
    {
        QTest::addColumn<std::optional<qint64>>("hint");
        QTest::addColumn<QString>("expected");
        QTest::newRow("duration hint matches the later row") << std::optional<qint64>(200) << QStringLiteral("long.flac");
        QTest::newRow("no hint: lowest id") << std::optional<qint64>() << QStringLiteral("short.mp3");
        QTest::newRow("hint matches nothing: lowest id") << std::optional<qint64>(7) << QStringLiteral("short.mp3");
    }
    void picksTheFirstMatchingRow()
    {
        QFETCH(std::optional<qint64>, hint);
        QFETCH(QString, expected);
        LocalLibraryFixture library;
        const QString shortFile = library.write(QStringLiteral("short.mp3"));
        const QString longFile = library.write(QStringLiteral("long.flac"));
        library.database->upsert(row(shortFile, "Song", 100));
        library.database->upsert(row(longFile, "Song", 200, std::nullopt, "flac"));

        LogCapture log;
        // The title differs only in ASCII case.
        const SourceResult result = library.plugin->resolve(TrackRef("Artist", "Album", "SONG", hint));
        QVERIFY(result.locator.isFileURL());
        QCOMPARE(result.locator.path(), library.path(expected));
        QCOMPARE(result.fileExtension, QString(expected == u"long.flac" ? "flac" : "mp3"));
        QCOMPARE(log.messages(resolveCategory),
                 QStringList{QStringLiteral("Resolved: Artist - SONG → ") + library.path(expected)});
    }

    void subTracksAndUnknownTracks()
    {
        LocalLibraryFixture library;
        const QString file = library.write(QStringLiteral("game.nsf"));
        library.database->upsert({row(file, "Level 1", 90, 0, "nsf"), row(file, "Émile", 80, 1, "nsf")});
        QCOMPARE(library.plugin->resolve(TrackRef("Artist", "Album", "Émile", 80, 1)).locator,
                 SourceLocator::fileURL(file));
        LogCapture log;
        // Non-ASCII letters must match exactly.
        QCOMPARE(failureOf(library, TrackRef("Artist", "Album", "éMILE")),
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
        const QString other = library.write(QStringLiteral("other.mp3"));
        library.database->upsert(row(library.path(indexedPath), "Song"));
        library.database->upsert(row(other, "Song"));
        const QString reported = library.path(reportedPath);
        LogCapture log;
        QCOMPARE(failureOf(library, TrackRef("Artist", "Album", "Song")), "File no longer exists at " + reported);
        QCOMPARE(log.messages(resolveCategory), QStringList{logLine.arg(reported)});
        // The row stays until a scan or a file event removes it.
        QCOMPARE(library.database->allTracks().size(), 2);
    }

    void archiveMembersResolveToTheirBytes()
    {
        LocalLibraryFixture library;
        const QString archive = library.path(QStringLiteral("Live.zip"));
        ZipFixture().addFile("CD 1/Intro.FLAC", "member bytes").write(archive);
        library.database->upsert(row(archive + "::CD 1/Intro.FLAC", "Intro", std::nullopt, std::nullopt, "flac"));
        library.database->upsert(row(archive + "::CD 1/Gone.mp3", "Gone"));

        LogCapture log;
        const SourceResult result = library.plugin->resolve(TrackRef("Artist", "Album", "Intro"));
        QCOMPARE(result.locator, SourceLocator::data("member bytes"));
        QCOMPARE(result.fileExtension, QStringLiteral("flac"));
        QCOMPARE(log.messages(resolveCategory),
                 QStringList{"Resolved (zip): Artist - Intro → " + archive + "::CD 1/Intro.FLAC"});

        QCOMPARE(failureOf(library, TrackRef("Artist", "Album", "Gone")),
                 "Entry 'CD 1/Gone.mp3' not found in zip: " + archive);

        // An archive that is no longer one fails with the archive's own error.
        QFile damaged(archive);
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("not an archive");
        damaged.close();
        QVERIFY_THROWS_EXCEPTION(ZipArchiveError, library.plugin->resolve(TrackRef("Artist", "Album", "Intro")));
    }

    void countsAndRemovalsByFolder()
    {
        LocalLibraryFixture library;
        library.write(QStringLiteral("Rock/a.mp3"));
        library.write(QStringLiteral("Rock/Live/b.mp3"));
        library.write(QStringLiteral("Rockabilly/c.mp3"));
        ZipFixture().addFile("d.mp3", "d").addFile("e.mp3", "e").write(library.path(QStringLiteral("Rock/set.zip")));
        library.scan();
        QCOMPARE(library.plugin->trackCount(library.path(QStringLiteral("Rock"))), qint64(4));
        QCOMPARE(library.plugin->trackCount(library.path(QStringLiteral("Rock/"))), qint64(4));
        QCOMPARE(library.plugin->trackCount(library.music()), qint64(5));
        QCOMPARE(library.plugin->trackCount(library.path(QStringLiteral("Jazz"))), qint64(0));

        library.plugin->removeTracks(library.path(QStringLiteral("Rock")));
        QCOMPARE(LocalLibraryFixture::filePaths(library.plugin->allTracksFromDatabase()),
                 QStringList{library.path(QStringLiteral("Rockabilly/c.mp3"))});
    }
};

QTEST_GUILESS_MAIN(TestLocalFileSourceResolve)
#include "tst_localfilesourceresolve.moc"
