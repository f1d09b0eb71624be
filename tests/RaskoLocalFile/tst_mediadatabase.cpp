#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <limits>
#include <thread>

using vessa::MediaDatabase;
using vessa::MediaDatabaseError;
using Row = MediaDatabase::TrackRow;

namespace {

Row makeRow(const QString& path, std::optional<qint64> subTrack = std::nullopt, const QString& title = QStringLiteral("T"),
            std::optional<qint64> duration = 200)
{
    return Row(0, QStringLiteral("Artist"), QStringLiteral("Album"), title, duration, path, QStringLiteral("mp3"),
               QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC), subTrack, 1, 1);
}

// A second, plain connection to the same file, to set up and inspect what
// the program's own connection cannot reach.
class RawDatabase {
public:
    explicit RawDatabase(const QString& path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
    }
    ~RawDatabase() { sqlite3_close(m_db); }
    void exec(const char* sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK)
            qFatal("%s: %s", sql, message);
    }
    QString text(const char* sql)
    {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
        QString value;
        if (sqlite3_step(statement) == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        return value;
    }

private:
    sqlite3* m_db = nullptr;
};

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
    void newFileGetsSchemaAndWal()
    {
        const QString file = path(QStringLiteral("new/nested/media.db"));
        {
            MediaDatabase database(file);
            QVERIFY(database.allTracks().isEmpty());
        }
        RawDatabase raw(file);
        QCOMPARE(raw.text("PRAGMA user_version"), QStringLiteral("3"));
        QCOMPARE(raw.text("PRAGMA journal_mode"), QStringLiteral("wal"));
        QVERIFY(raw.text("SELECT sql FROM sqlite_master WHERE name = 'idx_tracks_lookup'")
                    .contains(QStringLiteral("COLLATE NOCASE")));
    }

    void migration_data()
    {
        QTest::addColumn<int>("storedVersion");
        QTest::addColumn<int>("rowsAfterOpen");
        QTest::newRow("version 2 is emptied") << 2 << 0;
        QTest::newRow("version 3 is kept") << 3 << 2;
        QTest::newRow("version 5 is kept") << 5 << 2;
    }
    void migration()
    {
        QFETCH(int, storedVersion);
        QFETCH(int, rowsAfterOpen);
        const QString file = path(QStringLiteral("migrate-%1.db").arg(storedVersion));
        {
            MediaDatabase database(file);
            database.upsert(QList<Row>{makeRow(QStringLiteral("/m/a.mp3")), makeRow(QStringLiteral("/m/b.mp3"))});
        }
        RawDatabase(file).exec(qPrintable(QStringLiteral("PRAGMA user_version = %1").arg(storedVersion)));
        {
            MediaDatabase database(file);
            QCOMPARE(database.allTracks().size(), rowsAfterOpen);
        }
        QCOMPARE(RawDatabase(file).text("PRAGMA user_version"), QStringLiteral("3"));
    }

    void notADatabaseFailsAndStaysUntouched()
    {
        const QString file = path(QStringLiteral("text.db"));
        QByteArray content;
        for (int i = 0; i < 200; ++i)
            content += "This is a plain text file, not a database. ";
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        try {
            MediaDatabase database(file);
            QFAIL("opening a text file succeeded");
        } catch (const MediaDatabaseError& error) {
            QCOMPARE(error.kind(), MediaDatabaseError::Kind::schemaCreationFailed);
            QCOMPARE(error.description(),
                     QStringLiteral("Failed to create media database schema: file is not a database"));
        }
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), content);
        QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("folder under a plain file") << QStringLiteral("plain.txt/sub/media.db");
        QTest::newRow("path is a folder") << QStringLiteral("folder.db");
    }
    void openFailures()
    {
        QFETCH(QString, relativePath);
        QFile plain(path(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder.db")));
        const QString file = path(relativePath);
        try {
            MediaDatabase database(file);
            QFAIL("open succeeded");
        } catch (const MediaDatabaseError& error) {
            QVERIFY2(error.description().startsWith(QStringLiteral("Cannot open media database at ") + file + ": ")
                         || error.kind() == MediaDatabaseError::Kind::schemaCreationFailed,
                     qPrintable(error.description()));
        }
    }

    void inMemoryDatabasesAreSeparate()
    {
        MediaDatabase first;
        MediaDatabase second;
        first.upsert(makeRow(QStringLiteral("/m/a.mp3")));
        QCOMPARE(first.allTracks().size(), 1);
        QVERIFY(second.allTracks().isEmpty());
    }

    void upsertKeepsIdAndOverwrites()
    {
        MediaDatabase database;
        database.upsert(makeRow(QStringLiteral("/m/other.mp3")));
        database.upsert(makeRow(QStringLiteral("/m/a.mp3"), std::nullopt, QStringLiteral("First")));
        const qint64 id = database.findTracks("Artist", "Album", "First", std::nullopt).value(0).id;
        Row changed = makeRow(QStringLiteral("/m/a.mp3"), std::nullopt, QStringLiteral("Second"), std::nullopt);
        changed.fileExtension = QStringLiteral("flac");
        database.upsert(changed);

        const QList<Row> rows = database.findTracks("Artist", "Album", "Second", std::nullopt);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].id, id);
        QCOMPARE(rows[0].durationSeconds, std::nullopt);
        QCOMPARE(rows[0].fileExtension, QStringLiteral("flac"));
        QCOMPARE(database.allTracks().size(), 2);
    }

    void valuesRoundTrip_data()
    {
        QTest::addColumn<std::optional<qint64>>("duration");
        QTest::addColumn<std::optional<qint64>>("subTrack");
        QTest::addColumn<std::optional<qint64>>("number");
        QTest::addColumn<QDateTime>("date");
        constexpr qint64 big = std::numeric_limits<qint64>::max();
        const QDateTime recent = QDateTime::fromMSecsSinceEpoch(1'712'345'678'901, Qt::UTC);
        QTest::newRow("all absent") << std::optional<qint64>() << std::optional<qint64>() << std::optional<qint64>()
                                    << recent;
        QTest::newRow("beyond 32 bits") << std::optional<qint64>(5'000'000'000) << std::optional<qint64>(4'294'967'296)
                                        << std::optional<qint64>(big) << recent;
        QTest::newRow("smallest values") << std::optional<qint64>(std::numeric_limits<qint64>::min())
                                         << std::optional<qint64>(0) << std::optional<qint64>(-1)
                                         << vessa::distantPast();
        QTest::newRow("far future") << std::optional<qint64>(0) << std::optional<qint64>(7)
                                    << std::optional<qint64>(0)
                                    << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
    }
    void valuesRoundTrip()
    {
        QFETCH(std::optional<qint64>, duration);
        QFETCH(std::optional<qint64>, subTrack);
        QFETCH(std::optional<qint64>, number);
        QFETCH(QDateTime, date);
        MediaDatabase database(path(QStringLiteral("roundtrip.db")));
        database.removeTracksUnderDirectory(QStringLiteral("/"));
        const Row row(0, QStringLiteral("Sigur Rós"), QStringLiteral("Ágætis 'byrjun'"), QStringLiteral("♪ \"x\""),
                      duration, QStringLiteral("/m/ü/a.mp3"), QStringLiteral("mp3"), date, subTrack, number, number);
        database.upsert(row);
        const QList<Row> rows = database.allTracks();
        QCOMPARE(rows.size(), 1);
        Row expected = row;
        expected.id = rows[0].id;
        QCOMPARE(rows[0], expected);
        QCOMPARE(database.allFileModTimes().value(row.filePath), date);
    }

    void subTracksLiveSideBySide()
    {
        MediaDatabase database;
        const QString file = QStringLiteral("/m/game.nsf");
        database.upsert(QList<Row>{makeRow(file, 0), makeRow(file, 1), makeRow(file)});
        // Any negative index means "no sub-track": it replaces the absent one.
        database.upsert(makeRow(file, -7, QStringLiteral("Whole")));
        QList<std::optional<qint64>> indexes;
        for (const Row& row : database.allTracks())
            indexes.append(row.subTrackIndex);
        std::sort(indexes.begin(), indexes.end());
        QCOMPARE(indexes, (QList<std::optional<qint64>>{std::nullopt, 0, 1}));
        QCOMPARE(database.findTracks("artist", "album", "whole", std::nullopt).size(), 1);
        QCOMPARE(database.allFileModTimes().size(), 1);
    }

    void replaceTracksDropsMissingSubTracks()
    {
        MediaDatabase database;
        const QString file = QStringLiteral("/m/game.nsf");
        database.upsert(QList<Row>{makeRow(file, 0), makeRow(file, 1), makeRow(file, 2), makeRow("/m/keep.mp3")});
        database.replaceTracks(file, {makeRow(file, 0, "New 0"), makeRow(file, 1, "New 1")});
        QStringList titles;
        for (const Row& row : database.allTracks())
            titles.append(row.title);
        titles.sort();
        QCOMPARE(titles, (QStringList{"New 0", "New 1", "T"}));
    }

    void failedBatchWritesNothing()
    {
        const QString file = path(QStringLiteral("trigger.db"));
        { MediaDatabase database(file); }
        RawDatabase(file).exec("CREATE TRIGGER refuse BEFORE INSERT ON tracks WHEN NEW.title = 'bad' "
                               "BEGIN SELECT RAISE(ABORT, 'refused'); END");
        MediaDatabase database(file);
        database.upsert(makeRow(QStringLiteral("/m/old.nsf"), 0));
        const QList<Row> batch{makeRow("/m/good.mp3"), makeRow("/m/bad.mp3", std::nullopt, "bad")};
        const auto expectInsertFailure = [](const std::function<void()>& write) {
            try {
                write();
                QFAIL("the write succeeded");
            } catch (const MediaDatabaseError& error) {
                QCOMPARE(error.description(), QStringLiteral("Media database insert failed: refused"));
            }
        };
        expectInsertFailure([&] { database.upsert(batch); });
        expectInsertFailure([&] { database.upsert(batch[1]); });
        expectInsertFailure([&] { database.replaceTracks("/m/old.nsf", {makeRow("/m/old.nsf", 0, "bad")}); });
        // Nothing of a failed batch stays, and the connection remains usable.
        QCOMPARE(pathsOf(database.allTracks()), QStringList{"/m/old.nsf"});
        database.upsert(batch[0]);
        QCOMPARE(database.allTracks().size(), 2);
    }

    void findTracksOrder_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<std::optional<qint64>>("duration");
        QTest::addColumn<QStringList>("expectedPaths");
        QTest::newRow("no duration: by id") << "ABC" << std::optional<qint64>() << QStringList{"/1", "/2", "/3"};
        QTest::newRow("exact duration first") << "ABC" << std::optional<qint64>(300) << QStringList{"/3", "/1", "/2"};
        QTest::newRow("duration beyond 32 bits")
            << "ABC" << std::optional<qint64>(4'294'967'496) << QStringList{"/2", "/1", "/3"};
        QTest::newRow("unmatched duration keeps id order")
            << "ABC" << std::optional<qint64>(1) << QStringList{"/1", "/2", "/3"};
        QTest::newRow("ASCII case folds") << "abc" << std::optional<qint64>() << QStringList{"/1", "/2", "/3"};
        QTest::newRow("non-ASCII case does not") << QString::fromUtf8("\xc3\xa4") << std::optional<qint64>()
                                                 << QStringList{};
        QTest::newRow("exact non-ASCII") << QString::fromUtf8("\xc3\x84") << std::optional<qint64>()
                                         << QStringList{"/4"};
    }
    void findTracksOrder()
    {
        QFETCH(QString, artist);
        QFETCH(std::optional<qint64>, duration);
        QFETCH(QStringList, expectedPaths);
        MediaDatabase database;
        const auto row = [](const QString& artist, const QString& path, std::optional<qint64> seconds) {
            return Row(0, artist, "Album", "Title", seconds, path, "mp3", QDateTime::currentDateTimeUtc(), {}, {}, {});
        };
        database.upsert(row("ABC", "/1", 200));
        database.upsert(row("Abc", "/2", 4'294'967'496));
        database.upsert(row("abc", "/3", 300));
        database.upsert(row(QString::fromUtf8("\xc3\x84"), "/4", 300));
        database.upsert(Row(0, "ABC", "Album", "Other", 300, "/5", "mp3", QDateTime::currentDateTimeUtc(), {}, {}, {}));
        QCOMPARE(pathsOf(database.findTracks(artist, "ALBUM", "title", duration)), expectedPaths);
    }

    void allTracksOrder()
    {
        MediaDatabase database;
        QVERIFY(database.allTracks().isEmpty());
        const auto row = [](const QString& artist, const QString& album, const QString& title) {
            return Row(0, artist, album, title, {}, "/" + artist + album + title, "", QDateTime(), {}, {}, {});
        };
        database.upsert(QList<Row>{row("b", "a", "a"), row("A", "b", "a"), row("a", "A", "b"), row("a", "a", "A"),
                                   row("_", "a", "a"), row("B", "B", "c")});
        QCOMPARE(pathsOf(database.allTracks()), (QStringList{"/_aa", "/aaA", "/aAb", "/Aba", "/baa", "/BBc"}));
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
        QTest::newRow("percent is no wildcard") << "/M%" << QStringList{};
        QTest::newRow("archive is no folder") << "/Music/x.zip" << QStringList{};
        QTest::newRow("sub-folder") << "/Music/sub" << QStringList{"/Music/sub/b.flac"};
        QTest::newRow("non-ASCII") << QString::fromUtf8("/M\xc3\xbcsik")
                                   << QStringList{QString::fromUtf8("/M\xc3\xbcsik/d.mp3")};
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
                              QString::fromUtf8("/M\xc3\xbcsik/d.mp3"),
                              QString::fromUtf8("/M\xc3\xbcsik2/e.mp3")};
        MediaDatabase database;
        QList<Row> rows;
        for (const QString& file : all)
            rows.append(makeRow(file));
        rows.append(makeRow("/Music/sub/b.flac", 0)); // a second row of one path
        database.upsert(rows);

        const qint64 rowsOfExpected = expected.size() + (expected.contains("/Music/sub/b.flac") ? 1 : 0);
        QCOMPARE(database.countTracks(folder), rowsOfExpected);
        database.removeTracksUnderDirectory(folder);
        QStringList remaining = pathsOf(database.allTracks());
        for (const QString& file : expected)
            QVERIFY2(!remaining.contains(file), qPrintable(file));
        remaining.removeDuplicates();
        QCOMPARE(remaining.size(), all.size() - expected.size());
    }

    void pathPrefixQueries()
    {
        MediaDatabase database;
        database.upsert(QList<Row>{makeRow("/m/a.zip::x.nsf", 0), makeRow("/m/a.zip::x.nsf", 1),
                                   makeRow("/m/a.zip::b/y.mp3"), makeRow("/m/a.zipper/z.mp3"),
                                   makeRow("/m/A.zip::w.mp3"), makeRow("/m/a.zip")});
        QCOMPARE(database.filePathsWithPrefix("/m/a.zip::"), (QStringList{"/m/a.zip::b/y.mp3", "/m/a.zip::x.nsf"}));
        QCOMPARE(database.filePathsWithPrefix("/nothing"), QStringList{});
        QCOMPARE(database.filePathsWithPrefix("").size(), 5);
        QCOMPARE(database.removeTracksWithPathPrefix("/m/a.zip::"), 3);
        QCOMPARE(database.allTracks().size(), 3);
    }

    void removeManyPaths()
    {
        MediaDatabase database(path(QStringLiteral("many.db")));
        database.removeTracksWithPaths({});
        QList<Row> rows;
        QStringList vanished;
        for (int i = 0; i < 40'000; ++i) {
            vanished.append(QStringLiteral("/gone/%1.mp3").arg(i));
            rows.append(makeRow(vanished.last()));
        }
        rows.append(makeRow("/gone/multi.nsf", 0));
        rows.append(makeRow("/gone/multi.nsf", 1));
        vanished.append("/gone/multi.nsf");
        rows.append(makeRow("/kept/a.mp3"));
        database.upsert(rows);
        database.removeTracksWithPaths(vanished);
        QCOMPARE(pathsOf(database.allTracks()), QStringList{"/kept/a.mp3"});
    }

    void stepErrorsSurface()
    {
        const QString file = path(QStringLiteral("corrupt.db"));
        {
            MediaDatabase database(file);
            QList<Row> rows;
            for (int i = 0; i < 3000; ++i)
                rows.append(makeRow(QStringLiteral("/m/%1/a-rather-long-file-name-to-fill-pages.mp3").arg(i),
                                    std::nullopt, QStringLiteral("Title %1").arg(i)));
            database.upsert(rows);
        }
        {
            // Spoil the pages in the middle of the file; the schema on page 1 stays intact.
            QFile raw(file);
            QVERIFY(raw.open(QIODevice::ReadWrite));
            const qint64 pageSize = 4096;
            const qint64 pages = raw.size() / pageSize;
            QVERIFY(pages > 20);
            for (qint64 page = pages / 3; page < 2 * pages / 3; ++page) {
                raw.seek(page * pageSize);
                raw.write(QByteArray(pageSize, '\xA5'));
            }
        }
        MediaDatabase database(file);
        const auto expectQueryFailure = [](const std::function<void()>& query) {
            try {
                query();
                QFAIL("a query over a damaged table succeeded");
            } catch (const MediaDatabaseError& error) {
                QCOMPARE(error.kind(), MediaDatabaseError::Kind::queryFailed);
            }
        };
        expectQueryFailure([&] { database.allTracks(); });
        expectQueryFailure([&] { database.allFileModTimes(); });
    }

    void concurrentWriters()
    {
        MediaDatabase database(path(QStringLiteral("threads.db")));
        {
            std::vector<std::jthread> writers;
            for (int t = 0; t < 8; ++t) {
                writers.emplace_back([&database, t] {
                    for (int i = 0; i < 100; ++i) {
                        database.upsert(makeRow(QStringLiteral("/t%1/%2.mp3").arg(t).arg(i)));
                        database.countTracks(QStringLiteral("/t%1").arg(t));
                    }
                });
            }
        }
        QCOMPARE(database.allTracks().size(), 800);
        QCOMPARE(database.countTracks("/t3"), 100);
    }

    void errorTexts()
    {
        QCOMPARE(MediaDatabaseError::cannotOpen("/x/media.db", "unknown").description(),
                 QStringLiteral("Cannot open media database at /x/media.db: unknown"));
        QCOMPARE(MediaDatabaseError::queryFailed("r").description(), QStringLiteral("Media database query failed: r"));
    }
};

QTEST_GUILESS_MAIN(TestMediaDatabase)
#include "tst_mediadatabase.moc"
