#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/LibraryOrder.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/MediaDatabaseSetAside.h"
#include "VessaCore/Error.h"
#include "tests/support/BusyGlobalPool.h"
#include "tests/support/DatabaseDamage.h"
#include "tests/support/DatabaseFiles.h"
#include "tests/support/FailureText.h"
#include "tests/support/FileFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <mutex>
#include <thread>

using vessa::MediaDatabase;
using vessa::MediaDatabaseError;
using vessa::test::addRowsLeftInWal;
using vessa::test::failureOf;
using vessa::test::rawQuery;
using vessa::test::rowsIn;
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

// Makes SQLite's default file system hold up the next read of a database
// file, once armed, until released, and counts those reads.
class ReadGate {
public:
    ReadGate()
    {
        reads = 0;
        armed = false;
        holding = false;
        s_released = false;
        s_real = sqlite3_vfs_find(nullptr);
        m_vfs = *s_real;
        m_vfs.zName = "readgate";
        m_vfs.xOpen = open;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~ReadGate()
    {
        release();
        sqlite3_vfs_unregister(&m_vfs);
    }
    static inline std::atomic<int> reads{0};
    static inline std::atomic<bool> armed{false};
    static inline std::atomic<bool> holding{false};
    static void release()
    {
        const std::lock_guard lock(s_mutex);
        s_released = true;
        s_releasedChanged.notify_all();
    }

private:
    static int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
    {
        const int result = s_real->xOpen(s_real, name, file, flags, outFlags);
        if (result == SQLITE_OK && (flags & SQLITE_OPEN_MAIN_DB) && file->pMethods) {
            s_realMethods = file->pMethods;
            s_methods = *s_realMethods;
            s_methods.xRead = read;
            file->pMethods = &s_methods;
        }
        return result;
    }
    static int read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset)
    {
        ++reads;
        if (armed.exchange(false)) {
            holding = true;
            std::unique_lock lock(s_mutex);
            s_releasedChanged.wait_for(lock, std::chrono::seconds(20), [] { return s_released; });
        }
        return s_realMethods->xRead(file, buffer, amount, offset);
    }

    sqlite3_vfs m_vfs{};
    static inline sqlite3_vfs* s_real = nullptr;
    static inline const sqlite3_io_methods* s_realMethods = nullptr;
    static inline sqlite3_io_methods s_methods{};
    static inline std::mutex s_mutex;
    static inline std::condition_variable s_releasedChanged;
    static inline bool s_released = false;
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
            kept = vessa::MediaDatabaseSetAside::keptName(file, "damaged", QDateTime::currentDateTime());
            vessa::MediaDatabaseSetAside::moveAside(file, kept);
            return kept;
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
        QCOMPARE(SetAside::keptName(file, "damaged", now), first);
        SetAside::moveAside(file, first);
        vessa::test::writeFile(file, "again");
        QCOMPARE(SetAside::keptName(file, "damaged", now), first + "-2");
        SetAside::moveAside(file, first + "-2");
        QCOMPARE(vessa::test::fileContent(first), "main");
        QCOMPARE(vessa::test::fileContent(first + "-wal"), "wal");
        QCOMPARE(vessa::test::fileContent(first + "-2"), "again");
        QVERIFY(!QFile::exists(file) && !QFile::exists(file + "-wal") && !QFile::exists(first + "-2-wal"));
        QVERIFY(SetAside::open(file).keptPath.isEmpty());
        // The caller hears of a move, and only of one, before anything moves.
        vessa::test::writeFile(file, "not a database");
        QStringList moves;
        const auto heard = [&](const SetAside::Opened& moved) {
            moves << moved.keptPath;
            QVERIFY(!moved.database && QFile::exists(file) && !QFile::exists(moved.keptPath)
                    && moved.notice().contains(moved.keptPath));
            // Which file goes, for a start that finds the move cut off.
            QVERIFY(moved.file && moved.file == vessa::FileIdentity::withoutFollowingLinks(file));
        };
        const QString kept = SetAside::open(file, heard).keptPath;
        QVERIFY(SetAside::open(file, heard).keptPath.isEmpty());
        QCOMPARE(moves, QStringList{kept});
    }

    // A move cut off after any number of its steps leaves the whole file,
    // the rows in its WAL included, at its path or at the kept name; the
    // next start finishes it, and leaves a new database made since alone.
    void interruptedSetAsideIsFinished_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("newDatabase");
        for (int steps = 0; steps <= 6; ++steps)
            QTest::addRow("%d steps", steps) << steps << false;
        QTest::newRow("done, a new database made") << 6 << true;
    }
    void interruptedSetAsideIsFinished()
    {
        namespace SetAside = vessa::MediaDatabaseSetAside;
        QFETCH(int, steps);
        QFETCH(bool, newDatabase);
        const QString file = path(QStringLiteral("cut-%1.db").arg(QTest::currentDataTag()));
        QList<Row> rows;
        for (int i = 0; i < 100; ++i)
            rows.append(makeRow(QStringLiteral("/m/%1.mp3").arg(i)));
        MediaDatabase(file).upsert(rows);
        addRowsLeftInWal(file, "/w", 2000);
        QVERIFY(QFile::exists(file + "-wal") && QFile::exists(file + "-shm"));
        const QString kept = SetAside::keptName(file, "damaged", QDateTime::currentDateTime());
        SetAside::moveAside(file, kept, steps);
        QVERIFY(rowsIn(file) == 2100 || rowsIn(kept) == 2100);
        if (newDatabase)
            MediaDatabase(file).upsert(makeRow("/new/a.mp3"));
        SetAside::moveAside(file, kept);
        QCOMPARE(rowsIn(kept), 2100);
        QCOMPARE(rowsIn(file), newDatabase ? 1 : -1);
        QVERIFY(newDatabase || (!QFile::exists(file + "-wal") && !QFile::exists(file + "-shm")));
    }

    // Another file moved to the path while the database is open (a backup
    // put back) is left whole, with its own WAL if it brought one: the open
    // database goes on with its file, also where the library is read in
    // parallel, and the next open finds the backup's rows.
    void replacedFileIsLeftWhole_data()
    {
        QTest::addColumn<bool>("backupWal");
        QTest::newRow("backup alone") << false;
        QTest::newRow("backup with its WAL") << true;
    }
    void replacedFileIsLeftWhole()
    {
        QFETCH(bool, backupWal);
        const QString file = path(QStringLiteral("replaced-%1.db").arg(QTest::currentDataTag()));
        const QString backup = file + ".backup";
        QList<Row> rows;
        for (int i = 0; i < 500; ++i)
            rows.append(makeRow(QStringLiteral("/b/%1.mp3").arg(i)));
        MediaDatabase(backup).upsert(rows);
        if (backupWal)
            addRowsLeftInWal(backup, "/w", 100);
        auto database = std::make_unique<MediaDatabase>(file);
        database->upsert(QList<Row>{makeRow("/a/1.mp3"), makeRow("/a/2.mp3")});
        const auto move = [](const QString& from, const QString& to) {
            return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
        };
        QVERIFY(move(backup, file) && (!backupWal || move(backup + "-wal", file + "-wal")));

        std::atomic<int> own{0};
        std::atomic<int> other{0};
        database->readLibrary(
            4, [&](int, const MediaDatabase::TrackRowBytes& row) { ++(row.filePath.startsWith("/a/") ? own : other); });
        QCOMPARE(own.load(), 2);
        QCOMPARE(other.load(), 0);
        database->upsert(makeRow("/a/3.mp3"));
        QCOMPARE(database->allTracks().size(), 3);
        database.reset();
        const QList<Row> found = MediaDatabase(file).allTracks();
        QCOMPARE(found.size(), backupWal ? 600 : 500);
        QVERIFY(
            std::none_of(found.cbegin(), found.cend(), [](const Row& row) { return row.filePath.startsWith("/a/"); }));
    }

    // A stop, the caller's or the quit's, ends a long page check at once and
    // leaves the file where it is, damage and all; after the quit's, no
    // member starts it again.
    void stoppedCheckLeavesTheFile_data()
    {
        QTest::addColumn<bool>("quit");
        // Held in the first read of the file, while the check is prepared
        // (no statement of SQLite's runs yet), not inside the check.
        QTest::addColumn<bool>("beforeTheCheck");
        QTest::newRow("caller's stop") << false << false;
        QTest::newRow("quit") << true << false;
        QTest::newRow("caller's stop before the check starts") << false << true;
        QTest::newRow("quit before the check starts") << true << true;
    }
    void stoppedCheckLeavesTheFile()
    {
        QFETCH(bool, quit);
        QFETCH(bool, beforeTheCheck);
        const QString file = path(QStringLiteral("slow-%1.db").arg(QTest::currentDataTag()));
        QList<Row> rows;
        for (int i = 0; i < 20'000; ++i)
            rows.append(makeRow(QStringLiteral("/m/%1/%2.mp3").arg(QString(200, u'x')).arg(i)));
        MediaDatabase(file).upsert(rows);
        QFile raw(file);
        const qint64 pages = raw.size() / 4096;
        QVERIFY(raw.open(QIODevice::ReadWrite) && raw.seek(pages / 2 * 4096) && raw.write(QByteArray(4096, '\xA5')));
        raw.close();
        const QByteArray bytes = vessa::test::fileContent(file);

        ReadGate gate;
        bool moved = false;
        auto database = std::make_unique<MediaDatabase>(file, [&](const MediaDatabaseError&) {
            moved = true;
            return QString();
        });
        // A change by another connection (into the WAL) makes this one read
        // the file's first page again when the check is prepared.
        if (beforeTheCheck)
            rawQuery(file, "UPDATE tracks SET title = title WHERE id = 1");
        ReadGate::armed = true;
        std::stop_source stop;
        std::exception_ptr failure;
        std::jthread check([&] {
            try {
                database->checkFile(stop.get_token());
            } catch (...) {
                failure = std::current_exception();
            }
        });
        QTRY_VERIFY(ReadGate::holding);
        const int readsAtStop = ReadGate::reads;
        if (quit)
            database->stopFileCheck();
        else
            stop.request_stop();
        ReadGate::release();
        check.join();
        QVERIFY(failure && vessa::isCancellation(failure));
        QVERIFY2(ReadGate::reads - readsAtStop < pages / 4, qPrintable(QString::number(ReadGate::reads - readsAtStop)));
        if (quit)
            QVERIFY(failureOf<vessa::CancellationError>([&] { database->allTracks(); }) != "no failure");
        database.reset();
        QVERIFY(!moved);
        QCOMPARE(vessa::test::fileContent(file), bytes);
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
        // connection makes the open one read the pages again. The file keeps
        // its date, or the database would take it for a file copied over it.
        MediaDatabase database(file);
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &before), 0);
        QFile raw(file);
        QVERIFY(raw.open(QIODevice::ReadWrite));
        const qint64 pages = raw.size() / 4096;
        QVERIFY(pages > 20);
        for (qint64 page = pages / 3; page < 2 * pages / 3; ++page) {
            raw.seek(page * 4096);
            raw.write(QByteArray(4096, '\xA5'));
        }
        raw.close();
        const timespec times[] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
        rawQuery(file, "PRAGMA user_version = 3");
        const QString failure = failureOf<MediaDatabaseError>([&] { database.allTracks(); });
        QVERIFY2(failure.startsWith("Media database query failed: "), qPrintable(failure));
    }
};

QTEST_GUILESS_MAIN(TestMediaDatabase)
#include "tst_mediadatabase.moc"
