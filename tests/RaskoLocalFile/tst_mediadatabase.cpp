#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/LibraryOrder.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/MediaDatabaseSetAside.h"
#include "tests/support/BusyGlobalPool.h"
#include "tests/support/DatabaseDamage.h"
#include "tests/support/FailureText.h"
#include "tests/support/FileFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <limits>

using vessa::MediaDatabase;
using vessa::MediaDatabaseError;
using vessa::test::failureOf;
using Row = MediaDatabase::TrackRow;
using Mark = MediaDatabase::FileMark;
using Int = std::optional<qint64>;

namespace {

Row makeRow(const QString& path, Int subTrack = {}, const QString& title = "T", Int duration = 200,
            const QString& artist = "Artist")
{
    return Row(0, artist, "Album", title, duration, path, "mp3",
               QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC), subTrack, 1, 1);
}

// Runs `sql` on a second, plain connection; returns the first column of the first row.
QString rawQuery(const QString& file, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    QString value;
    if (sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

QStringList pathsOf(const QList<Row>& rows)
{
    QStringList paths;
    for (const Row& row : rows)
        paths.append(row.filePath);
    return paths;
}

} // namespace

class TestMediaDatabase : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void migration_data()
    {
        QTest::addColumn<int>("storedVersion"); // 0: a new file
        QTest::addColumn<bool>("marksTable");
        QTest::addColumn<bool>("mountPointsTable"); // its rows are kept
        QTest::addColumn<int>("rowsAfterOpen");
        QTest::addColumn<int>("marksAfterOpen");
        QTest::newRow("new file") << 0 << false << false << 0 << 0;
        QTest::newRow("version 2 is emptied") << 2 << false << false << 0 << 0;
        QTest::newRow("version 3 gets marks") << 3 << false << false << 2 << 0;
        // Opened last by a program that kept no marks beside its rows.
        QTest::newRow("version 3 drops its marks") << 3 << true << false << 2 << 0;
        QTest::newRow("version 4 is kept") << 4 << true << true << 2 << 1;
        QTest::newRow("version 4 from before mount points") << 4 << true << false << 2 << 1;
    }
    void migration()
    {
        QFETCH(int, storedVersion);
        QFETCH(bool, marksTable);
        QFETCH(bool, mountPointsTable);
        QFETCH(int, rowsAfterOpen);
        QFETCH(int, marksAfterOpen);
        const QString file = path(QStringLiteral("nested/migrate-%1.db").arg(QTest::currentDataTag()));
        if (storedVersion) {
            MediaDatabase database(file);
            database.upsert(QList<Row>{makeRow("/m/a.mp3"), makeRow("/m/b.mp3")});
            database.addFileMarks(
                {{"/m/c.mp3", 5, QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC), Mark::Kind::refused}});
            database.replaceMountPoints({"/m/share"});
            if (!marksTable)
                rawQuery(file, "DROP TABLE file_marks");
            if (!mountPointsTable)
                rawQuery(file, "DROP TABLE mount_points");
            rawQuery(file, qPrintable(QStringLiteral("PRAGMA user_version = %1").arg(storedVersion)));
        }
        MediaDatabase database(file);
        QCOMPARE(database.allTracks().size(), rowsAfterOpen);
        QCOMPARE(database.allFileMarks().size(), marksAfterOpen);
        QCOMPARE(database.mountPoints(), mountPointsTable ? QStringList{"/m/share"} : QStringList{});
        QCOMPARE(rawQuery(file, "PRAGMA user_version"), QStringLiteral("4"));
        QCOMPARE(rawQuery(file, "PRAGMA journal_mode"), QStringLiteral("wal"));
    }

    void unusableFileIsRefusedUntouched_data()
    {
        using vessa::test::DatabaseDamage;
        QTest::addColumn<DatabaseDamage>("damage");
        QTest::addColumn<QString>("failure");
        QTest::newRow("text") << DatabaseDamage::text << "is damaged: file is not a database";
        QTest::newRow("damaged page") << DatabaseDamage::damagedPage << "is damaged: ";
        QTest::newRow("truncated") << DatabaseDamage::truncated << "is damaged: database disk image is malformed";
        QTest::newRow("newer version") << DatabaseDamage::newerVersion
                                       << "was written by a newer version of Vessa (its schema version is 5, this "
                                          "version knows 4)";
    }
    void unusableFileIsRefusedUntouched()
    {
        QFETCH(vessa::test::DatabaseDamage, damage);
        QFETCH(QString, failure);
        const QString file = path(QStringLiteral("unusable-%1.db").arg(QTest::currentDataTag()));
        MediaDatabase(file).upsert(QList<Row>{makeRow("/m/a.mp3"), makeRow("/m/b.mp3")});
        QVERIFY(vessa::test::damageDatabase(file, damage));
        const QByteArray bytes = vessa::test::fileContent(file);
        const QByteArray wal = vessa::test::walFrames(file);
        const QString description = failureOf<MediaDatabaseError>([&] { MediaDatabase database(file); });
        QVERIFY2(description.startsWith("The media database at " + file + ' ' + failure), qPrintable(description));
        QCOMPARE(vessa::test::fileContent(file), bytes);
        QCOMPARE(vessa::test::walFrames(file), wal);
        // With the page check put off, the first use refuses the file untouched, or moves it away.
        const auto cannotMove = [&](const MediaDatabaseError&) -> QString {
            throw MediaDatabaseError::cannotOpen(file, "held");
        };
        std::unique_ptr<MediaDatabase> later;
        const QString atOpen =
            failureOf<MediaDatabaseError>([&] { later = std::make_unique<MediaDatabase>(file, cannotMove); });
        const bool seenAtOpen = damage != vessa::test::DatabaseDamage::damagedPage;
        QCOMPARE(atOpen, seenAtOpen ? description : "no failure");
        if (seenAtOpen)
            return;
        const QString held = failureOf<MediaDatabaseError>([&] { later->upsert(makeRow("/m/c.mp3")); });
        QVERIFY2(held.endsWith("held"), qPrintable(held));
        QCOMPARE(failureOf<MediaDatabaseError>([&] { later->allTracks(); }), held);
        QCOMPARE(vessa::test::fileContent(file), bytes);
        QCOMPARE(vessa::test::walFrames(file), wal);
        later.reset();
        QString kept;
        MediaDatabase replaced(file, [&](const MediaDatabaseError&) {
            return kept = vessa::MediaDatabaseSetAside::moveAside(file, "damaged", QDateTime::currentDateTime());
        });
        QVERIFY(replaced.allTracks().isEmpty());
        QCOMPARE(vessa::test::fileContent(kept), bytes);
        const std::optional<MediaDatabase::Refused> refused = replaced.checkFile();
        QVERIFY(refused && refused->keptPath == kept && refused->refusal.description() == description);
    }

    // The date names the kept file; a name taken adds a counter, and the WAL
    // goes with its database.
    void filesSetAsideNeverMeet()
    {
        namespace SetAside = vessa::MediaDatabaseSetAside;
        const QString file = path(QStringLiteral("aside.db"));
        const QDateTime now(QDate(2024, 1, 2), QTime(3, 4, 5));
        const QString first = path(QStringLiteral("aside.db.damaged-20240102-030405"));
        vessa::test::writeFile(file, "main");
        vessa::test::writeFile(file + "-wal", "wal");
        QCOMPARE(SetAside::moveAside(file, "damaged", now), first);
        vessa::test::writeFile(file, "again");
        QCOMPARE(SetAside::moveAside(file, "damaged", now), first + "-2");
        QCOMPARE(vessa::test::fileContent(first), "main");
        QCOMPARE(vessa::test::fileContent(first + "-wal"), "wal");
        QCOMPARE(vessa::test::fileContent(first + "-2"), "again");
        QVERIFY(!QFile::exists(file) && !QFile::exists(file + "-wal") && !QFile::exists(first + "-2-wal"));
        QVERIFY(SetAside::open(file).keptPath.isEmpty());
        // The caller hears of a move, and only of one, before the new database is made.
        vessa::test::writeFile(file, "not a database");
        QStringList moves;
        const auto heard = [&](const SetAside::Opened& moved) {
            moves << moved.keptPath;
            QVERIFY(!moved.database && !QFile::exists(file) && moved.notice().contains(moved.keptPath));
        };
        const QString kept = SetAside::open(file, heard).keptPath;
        QVERIFY(SetAside::open(file, heard).keptPath.isEmpty());
        QCOMPARE(moves, QStringList{kept});
    }

    // Absent values, -1, values beyond 32 bits and extreme dates come back as written.
    void valuesRoundTrip()
    {
        constexpr qint64 most = std::numeric_limits<qint64>::max();
        const QDateTime recent = QDateTime::fromMSecsSinceEpoch(1'712'345'678'901, Qt::UTC);
        const QDateTime farFuture(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
        const auto row = [](const char* title, Int duration, const QDateTime& date, Int subTrack, Int number) {
            return Row(0, "Sigur Rós", "Ágætis 'byrjun'", title, duration, QStringLiteral("/m/ü/%1").arg(title), "mp3",
                       date, subTrack, number, number);
        };
        QList<Row> rows{row("1 ♪ \"x\"", {}, recent, {}, {}), row("2", 5'000'000'000, recent, 4'294'967'296, most),
                        row("3", std::numeric_limits<qint64>::min(), vessa::distantPast(), 0, -1),
                        row("4", 0, farFuture, 7, 0)};
        MediaDatabase database(path(QStringLiteral("roundtrip.db")));
        database.upsert(rows);
        QList<Row> stored = database.allTracks();
        std::sort(stored.begin(), stored.end(), [](const Row& a, const Row& b) { return a.id < b.id; });
        QCOMPARE(stored.size(), rows.size());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            rows[i].id = stored[i].id;
            QCOMPARE(stored[i], rows[i]);
            QCOMPARE(database.allFileModTimes().value(rows[i].filePath), rows[i].lastModified);
        }
    }

    void upsertKeepsIdAndReplaceDropsMissingSubTracks()
    {
        MediaDatabase database;
        QVERIFY(MediaDatabase().allTracks().isEmpty()); // in-memory databases are separate
        database.upsert(makeRow("/m/a.mp3", {}, "First"));
        const qint64 id = database.allTracks().value(0).id;
        database.upsert(makeRow("/m/a.mp3", {}, "Second", {}));
        QCOMPARE(database.findTracks("artist", "album", "second", {}).value(0).id, id);

        const QString file = QStringLiteral("/m/game.nsf");
        database.upsert(QList<Row>{makeRow(file, 0), makeRow(file, 1), makeRow(file, 2), makeRow(file)});
        // Any negative index means "no sub-track": it replaces the absent one.
        database.upsert(makeRow(file, -7, "Whole"));
        QCOMPARE(database.allTracks().size(), 5);
        QCOMPARE(database.allFileModTimes().size(), 2);
        database.replaceTracks(file, {makeRow(file, 0, "New 0"), makeRow(file, 1, "New 1")});
        QStringList titles;
        for (const Row& row : database.allTracks())
            titles.append(row.title);
        QCOMPARE(titles, (QStringList{"New 0", "New 1", "Second"}));
    }

    // A failed write leaves nothing of its batch, and the connection stays usable.
    void failedWritesLeaveNothing()
    {
        const QString file = path(QStringLiteral("trigger.db"));
        MediaDatabase database(file);
        rawQuery(file, "CREATE TRIGGER refuse BEFORE INSERT ON tracks WHEN NEW.title = 'bad' "
                       "BEGIN SELECT RAISE(ABORT, 'refused'); END");
        database.upsert(makeRow("/m/old.nsf", 0));
        const QList<Row> batch{makeRow("/m/good.mp3"), makeRow("/m/bad.mp3", {}, "bad")};
        const QString refused = QStringLiteral("Media database insert failed: refused");
        QCOMPARE(failureOf<MediaDatabaseError>([&] { database.upsert(batch); }), refused);
        const QList<Row> badSubTracks{makeRow("/m/old.nsf", 0, "bad")};
        QCOMPARE(failureOf<MediaDatabaseError>([&] { database.replaceTracks("/m/old.nsf", badSubTracks); }), refused);
        QCOMPARE(pathsOf(database.allTracks()), QStringList{"/m/old.nsf"});
        database.upsert(batch[0]);
        QCOMPARE(database.allTracks().size(), 2);
    }

    void findTracksOrder_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<Int>("duration");
        QTest::addColumn<QStringList>("expectedPaths");
        QTest::newRow("no duration: by id") << "ABC" << Int() << QStringList{"/1", "/2", "/3"};
        QTest::newRow("exact duration first") << "ABC" << Int(300) << QStringList{"/3", "/1", "/2"};
        QTest::newRow("duration beyond 32 bits") << "ABC" << Int(4'294'967'496) << QStringList{"/2", "/1", "/3"};
        QTest::newRow("ASCII case folds") << "abc" << Int() << QStringList{"/1", "/2", "/3"};
        QTest::newRow("non-ASCII case does not") << "ä" << Int() << QStringList{};
        QTest::newRow("exact non-ASCII") << "Ä" << Int() << QStringList{"/4"};
    }
    void findTracksOrder()
    {
        QFETCH(QString, artist);
        QFETCH(Int, duration);
        QFETCH(QStringList, expectedPaths);
        MediaDatabase database;
        database.upsert(QList<Row>{makeRow("/1", {}, "Title", 200, "ABC"),
                                   makeRow("/2", {}, "Title", 4'294'967'496, "Abc"),
                                   makeRow("/3", {}, "Title", 300, "abc"), makeRow("/4", {}, "Title", 300, "Ä"),
                                   makeRow("/5", {}, "Other", 300, "ABC")});
        QCOMPARE(pathsOf(database.findTracks(artist, "ALBUM", "title", duration)), expectedPaths);
    }

    // Within an album, tracks go by disc (absent: 1) and track number
    // (absent: 0), then by title; artists and albums ignore ASCII case.
    void allTracksByDiscAndTrack()
    {
        const auto track = [](const char* artist, const char* album, const char* title, Int disc, Int number) {
            return Row(0, artist, album, title, 200, QStringLiteral("/m/%1").arg(title), "mp3",
                       QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), {}, number, disc);
        };
        MediaDatabase database;
        database.upsert(
            QList<Row>{track("Band", "Two Discs", "Ante", 2, 10), track("Band", "TWO DISCS", "Zeta", 2, 1),
                       track("Band", "Two Discs", "Alpha", {}, 3), track("Band", "Two Discs", "Gamma", 2, 1),
                       track("Band", "Two Discs", "Beta", 1, 2), track("Band", "A Side", "Last", 1, 9),
                       track("Band", "Two Discs", "Untracked", 1, {}), track("abba", "Gold", "Waterloo", {}, {})});
        QStringList titles;
        for (const Row& row : database.allTracks())
            titles.append(row.title);
        QCOMPARE(titles, (QStringList{"Waterloo", "Last", "Untracked", "Beta", "Alpha", "Gamma", "Zeta", "Ante"}));
    }

    // The library is read unordered and sorted outside SQLite; the order
    // must stay the one its NOCASE collation gives (ASCII letters folded,
    // everything else by code point).
    void everyTrackSortsAsSqlitesCollation()
    {
        const QStringList texts{"a", "A", "[", "_", "b", "ab", "a b", "", "é", "É", "Ω", "\uE000", "🎵", "Zz", "zZ"};
        QList<Row> rows;
        for (qsizetype i = 0; i < texts.size() * 3; ++i) {
            const Int numbers[] = {{},
                                   0,
                                   -3,
                                   1,
                                   9'000'000'000'000'000,
                                   std::numeric_limits<qint64>::max(),
                                   std::numeric_limits<qint64>::min()};
            const qsizetype count = std::size(numbers);
            rows.append(Row(0, texts[i % texts.size()], texts[i / 3 % texts.size()], texts[i / 2 % texts.size()], 1,
                            QStringLiteral("/m/%1").arg(i), "mp3", QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), {},
                            numbers[i % count], numbers[i / count % count]));
        }
        // Discs beyond the key's reach: their tracks still come in track order.
        const qint64 most = std::numeric_limits<qint64>::max();
        const std::tuple<const char*, Int, Int> huge[] = {
            {"a", 2, most}, {"b", 1, most}, {"c", 1, -most}, {"d", 5, {}}};
        for (const auto& [title, track, disc] : huge)
            rows.append(Row(0, "x", "y", title, 1, QStringLiteral("/m/%1").arg(title), "mp3",
                            QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), {}, track, disc));
        // Read in three runs at once, each on its own connection.
        QTemporaryDir folder;
        MediaDatabase database(folder.filePath("media.db"));
        database.upsert(rows);
        vessa::test::BusyGlobalPool busy; // on threads of its own: Qt's pool may be busy for long
        struct Stored {
            QByteArray artist, album, path;
            Int disc, number;
            qint64 id;
        };
        QList<Stored> runs[3];
        const std::vector<qint64> byLookup =
            database.readLibrary(3, [&](int run, const MediaDatabase::TrackRowBytes& row) {
                runs[run].append({row.artist.toByteArray(), row.album.toByteArray(), row.filePath.toByteArray(),
                                  row.discNumber, row.trackNumber, row.id});
            });
        QVERIFY(!busy.release());
        QList<Stored> stored = runs[0] + runs[1] + runs[2];
        std::vector<qint64> ids;
        for (const Stored& s : stored)
            ids.push_back(s.id);
        QVERIFY(std::is_sorted(ids.begin(), ids.end()) && stored.size() == rows.size() && !runs[2].isEmpty());
        std::vector<vessa::LibraryOrder::Key> keys;
        for (const Stored& s : stored)
            keys.push_back({s.artist, s.album, s.disc, s.number});
        std::vector<qsizetype> positions;
        for (const qint64 id : byLookup)
            positions.push_back(std::find(ids.begin(), ids.end(), id) - ids.begin());
        vessa::LibraryOrder::sortAlbums(positions, keys);
        QStringList sorted;
        for (const qsizetype position : positions)
            sorted.append(QString::fromUtf8(stored[position].path));
        QCOMPARE(sorted, pathsOf(database.allTracks()));
    }

    void folderPrefix_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("expected");
        const QStringList music{"/Music/a.mp3", "/Music/sub/b.flac", "/Music/x.zip::CD1/01.mp3"};
        QTest::newRow("plain") << "/Music" << music;
        QTest::newRow("trailing slash") << "/Music/" << music;
        QTest::newRow("longer name is another folder") << "/Music2" << QStringList{"/Music2/a.mp3"};
        QTest::newRow("case matters") << "/MUSIC" << QStringList{"/MUSIC/a.mp3"};
        QTest::newRow("underscore is no wildcard") << "/Music_1" << QStringList{"/Music_1/c.mp3"};
        QTest::newRow("archive is no folder") << "/Music/x.zip" << QStringList{};
        QTest::newRow("non-ASCII") << "/Müsik" << QStringList{"/Müsik/d.mp3"};
    }
    void folderPrefix()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, expected);
        const QStringList all{"/Music/a.mp3",
                              "/Music/sub/b.flac",
                              "/Music/x.zip::CD1/01.mp3",
                              "/Music2/a.mp3",
                              "/MUSIC/a.mp3",
                              "/MusicA1/a.mp3",
                              "/Music_1/c.mp3",
                              "/Music",
                              "/Music.mp3",
                              "/Müsik/d.mp3",
                              "/Müsik2/e.mp3"};
        MediaDatabase database;
        QList<Row> rows{makeRow("/Music/sub/b.flac", 0)}; // a second row of one path
        for (const QString& file : all)
            rows.append(makeRow(file));
        database.upsert(rows);
        QHash<QString, Mark> marks;
        for (const QString& file : all) {
            marks.insert(file, Mark{file, file.size(), QDateTime::fromMSecsSinceEpoch(file.size() * 1000, Qt::UTC),
                                    file.endsWith(".mp3") ? Mark::Kind::refused : Mark::Kind::completeArchive});
        }
        database.addFileMarks(marks.values());
        database.replaceMountPoints(all);

        QCOMPARE(database.countTracks(folder), expected.size() + (expected.contains("/Music/sub/b.flac") ? 1 : 0));
        database.removeTracksUnderDirectory(folder);
        QStringList remaining = pathsOf(database.allTracks());
        remaining.removeDuplicates();
        for (const QString& file : expected)
            QVERIFY2(!remaining.contains(file), qPrintable(file));
        QCOMPARE(remaining.size(), all.size() - expected.size());
        // The folder's marks go with its rows; the others stay as written.
        for (const QString& file : expected)
            marks.remove(file);
        QCOMPARE(database.allFileMarks(), marks);
        // So do its mount points, the folder's own included.
        QStringList mountPoints = remaining;
        mountPoints.removeAll(folder.chopped(folder.endsWith(u'/') ? 1 : 0));
        mountPoints.sort();
        QCOMPARE(database.mountPoints(), mountPoints);
    }

    void removeManyPaths()
    {
        MediaDatabase database(path(QStringLiteral("many.db")));
        QList<Row> rows{makeRow("/gone/multi.nsf", 0), makeRow("/gone/multi.nsf", 1), makeRow("/kept/a.mp3")};
        QStringList vanished{"/gone/multi.nsf"};
        for (int i = 0; i < 40'000; ++i) {
            vanished.append(QStringLiteral("/gone/%1.mp3").arg(i));
            rows.append(makeRow(vanished.last()));
        }
        database.upsert(rows);
        database.removeTracksWithPaths(vanished);
        QCOMPARE(pathsOf(database.allTracks()), QStringList{"/kept/a.mp3"});
    }

    void stepErrorsSurface()
    {
        const QString file = path(QStringLiteral("corrupt.db"));
        {
            QList<Row> rows;
            for (int i = 0; i < 3000; ++i)
                rows.append(makeRow(QStringLiteral("/m/%1/a-rather-long-file-name-to-fill-pages.mp3").arg(i)));
            MediaDatabase(file).upsert(rows);
        }
        // Spoil the pages in the middle of the file once it is open (opening
        // checks them); the schema on page 1 stays intact. A write of another
        // connection makes the open one read the pages again.
        MediaDatabase database(file);
        QFile raw(file);
        QVERIFY(raw.open(QIODevice::ReadWrite));
        const qint64 pages = raw.size() / 4096;
        QVERIFY(pages > 20);
        for (qint64 page = pages / 3; page < 2 * pages / 3; ++page) {
            raw.seek(page * 4096);
            raw.write(QByteArray(4096, '\xA5'));
        }
        raw.close();
        rawQuery(file, "PRAGMA user_version = 3");
        const QString failure = failureOf<MediaDatabaseError>([&] { database.allTracks(); });
        QVERIFY2(failure.startsWith("Media database query failed: "), qPrintable(failure));
    }
};

QTEST_GUILESS_MAIN(TestMediaDatabase)
#include "tst_mediadatabase.moc"
