#include "RaskoLocalFile/MediaDatabase.h"

#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteStatement.h"
#include "VessaCore/Error.h"
#include "VessaCore/FileNameBytes.h"

#include <exception>
#include <filesystem>
#include <future>
#include <system_error>

namespace vessa {

namespace {

const char* const schemaScript = "PRAGMA journal_mode=WAL;\n"
                                 "\n"
                                 "CREATE TABLE IF NOT EXISTS tracks (\n"
                                 "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                                 "    artist TEXT NOT NULL DEFAULT '',\n"
                                 "    album TEXT NOT NULL DEFAULT '',\n"
                                 "    title TEXT NOT NULL DEFAULT '',\n"
                                 "    duration_seconds INTEGER,\n"
                                 "    file_path TEXT NOT NULL,\n"
                                 "    file_extension TEXT NOT NULL DEFAULT '',\n"
                                 "    last_modified REAL NOT NULL,\n"
                                 "    sub_track_index INTEGER NOT NULL DEFAULT -1,\n"
                                 "    track_number INTEGER,\n"
                                 "    disc_number INTEGER,\n"
                                 "    UNIQUE(file_path, sub_track_index)\n"
                                 ");\n"
                                 "\n"
                                 "CREATE INDEX IF NOT EXISTS idx_tracks_lookup\n"
                                 "    ON tracks(artist COLLATE NOCASE, album COLLATE NOCASE, title COLLATE NOCASE);\n"
                                 "\n"
                                 "CREATE INDEX IF NOT EXISTS idx_tracks_path\n"
                                 "    ON tracks(file_path);\n"
                                 "\n"
                                 "CREATE TABLE IF NOT EXISTS file_marks (\n"
                                 "    file_path TEXT PRIMARY KEY,\n"
                                 "    file_size INTEGER NOT NULL,\n"
                                 "    last_modified REAL NOT NULL,\n"
                                 "    kind TEXT NOT NULL\n"
                                 ");\n"
                                 "\n"
                                 "CREATE TABLE IF NOT EXISTS mount_points (\n"
                                 "    file_path TEXT PRIMARY KEY\n"
                                 ");";

// The oldest version whose `tracks` rows this program reads as they are.
constexpr int firstVersionWithCurrentTracks = 3;

// The pages of cache of each connection that reads the library. One pass
// over the table reads each page once, so a few do; a large cache would
// leave gaps among the entries read when it goes (see FreedMemory).
constexpr int readingCachePages = 8;

#define VESSA_ROW_SELECT                                                                                               \
    "SELECT id, artist, album, title, duration_seconds, file_path, file_extension, last_modified, "                    \
    "sub_track_index, track_number, disc_number\n"                                                                     \
    "FROM tracks\n"

const char* const allTracksSql =
    VESSA_ROW_SELECT "ORDER BY artist COLLATE NOCASE, album COLLATE NOCASE,\n"
                     "    COALESCE(disc_number, 1) * 1000 + COALESCE(track_number, 0), title COLLATE NOCASE, id";
const char* const rangeOfTracksSql = VESSA_ROW_SELECT "WHERE id >= ?1 AND id < ?2 ORDER BY id";
// Read from the lookup index alone, without a sort.
const char* const idsByLookupSql =
    "SELECT id FROM tracks ORDER BY artist COLLATE NOCASE, album COLLATE NOCASE, title COLLATE NOCASE, id";

#define VESSA_FIND_WHERE                                                                                               \
    "WHERE artist = ?1 COLLATE NOCASE\n"                                                                               \
    "  AND album = ?2 COLLATE NOCASE\n"                                                                                \
    "  AND title = ?3 COLLATE NOCASE\n"

const char* const findTracksSql = VESSA_ROW_SELECT VESSA_FIND_WHERE "ORDER BY id ASC";
const char* const findTracksByDurationSql =
    VESSA_ROW_SELECT VESSA_FIND_WHERE "ORDER BY CASE WHEN duration_seconds = ?4 THEN 0 ELSE 1 END, id ASC";

#undef VESSA_FIND_WHERE
#undef VESSA_ROW_SELECT

const char* const upsertSql =
    "INSERT INTO tracks (artist, album, title, duration_seconds, file_path, file_extension, last_modified, "
    "sub_track_index, track_number, disc_number)\n"
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)\n"
    "ON CONFLICT(file_path, sub_track_index) DO UPDATE SET\n"
    "    artist = excluded.artist,\n"
    "    album = excluded.album,\n"
    "    title = excluded.title,\n"
    "    duration_seconds = excluded.duration_seconds,\n"
    "    file_extension = excluded.file_extension,\n"
    "    last_modified = excluded.last_modified,\n"
    "    sub_track_index = excluded.sub_track_index,\n"
    "    track_number = excluded.track_number,\n"
    "    disc_number = excluded.disc_number";

const char* const addMarkSql =
    "INSERT OR REPLACE INTO file_marks (file_path, file_size, last_modified, kind) VALUES (?1, ?2, ?3, ?4)";

QString markKindText(MediaDatabase::FileMark::Kind kind)
{
    return kind == MediaDatabase::FileMark::Kind::completeArchive ? QStringLiteral("archive")
                                                                  : QStringLiteral("refused");
}

// The half-open byte range [lower, upper) of every text that starts with
// `prefix` under SQLite's binary collation: the prefix with its last byte
// raised by one. No upper bound exists when nothing is left to raise.
struct PrefixRange {
    QByteArray lower;
    std::optional<QByteArray> upper;
};

PrefixRange prefixRange(const QString& prefix)
{
    PrefixRange range{pathToBytes(prefix), std::nullopt};
    QByteArray upper = range.lower;
    while (!upper.isEmpty() && static_cast<unsigned char>(upper.back()) == 0xFF)
        upper.chop(1);
    if (!upper.isEmpty()) {
        upper.back() = static_cast<char>(static_cast<unsigned char>(upper.back()) + 1);
        range.upper = upper;
    }
    return range;
}

QByteArray prefixCondition(const PrefixRange& range)
{
    return range.upper ? QByteArrayLiteral("file_path >= ?1 AND file_path < ?2") : QByteArrayLiteral("file_path >= ?1");
}

void bindPrefix(SqliteStatement& statement, const PrefixRange& range)
{
    statement.bindUtf8(1, range.lower);
    if (range.upper)
        statement.bindUtf8(2, *range.upper);
}

QString directoryPrefix(const QString& directory)
{
    return directory.endsWith(u'/') ? directory : directory + u'/';
}

std::optional<qint64> optionalInteger(const SqliteStatement& statement, int column)
{
    if (statement.isNull(column))
        return std::nullopt;
    return statement.int64(column);
}

MediaDatabase::TrackRow readRow(const SqliteStatement& statement)
{
    const qint64 subTrack = statement.int64(8);
    return MediaDatabase::TrackRow(statement.int64(0), statement.text(1), statement.text(2), statement.text(3),
                                   optionalInteger(statement, 4), statement.path(5), statement.text(6),
                                   dateFromSecondsSince1970(statement.real(7)),
                                   subTrack < 0 ? std::nullopt : std::optional<qint64>(subTrack),
                                   optionalInteger(statement, 9), optionalInteger(statement, 10));
}

// Runs statements that build or rebuild the schema; a failure throws
// schemaCreationFailed with SQLite's message.
void runSchemaScript(sqlite3* db, const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = message ? QString::fromUtf8(message) : QStringLiteral("unknown");
        sqlite3_free(message);
        throw MediaDatabaseError::schemaCreationFailed(reason);
    }
}

// SQLite's verdict on a file that is damaged or no database at all (as
// opposed to one it cannot reach or lock).
bool isDamage(int result)
{
    const int primary = result & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// The first column of the first row of a one-statement query as text, or
// the failure's code and message.
struct FirstValue {
    int result = SQLITE_OK;
    QString text;
};

FirstValue firstValue(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    FirstValue value;
    value.result = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (value.result == SQLITE_OK)
        value.result = sqlite3_step(statement);
    if (value.result == SQLITE_ROW)
        value.text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    else
        value.text = sqliteMessage(db);
    sqlite3_finalize(statement);
    return value;
}

// BEGIN IMMEDIATE ... COMMIT; rolled back when left without commit().
class Transaction {
public:
    // Which failure a transaction that cannot begin or commit reports.
    enum class Purpose { query, insert };

    Transaction(sqlite3* db, Purpose purpose) : m_db(db), m_purpose(purpose) { run("BEGIN IMMEDIATE"); }
    ~Transaction()
    {
        if (!m_committed)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit()
    {
        run("COMMIT");
        m_committed = true;
    }

private:
    void run(const char* sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            const QString reason = sqliteMessage(m_db);
            throw m_purpose == Purpose::insert ? MediaDatabaseError::insertFailed(reason)
                                               : MediaDatabaseError::queryFailed(reason);
        }
    }

    sqlite3* m_db;
    Purpose m_purpose;
    bool m_committed = false;
};

} // namespace

MediaDatabase::TrackRow::TrackRow(qint64 id, QString artist, QString album, QString title,
                                  std::optional<qint64> durationSeconds, QString filePath, QString fileExtension,
                                  QDateTime lastModified, std::optional<qint64> subTrackIndex,
                                  std::optional<qint64> trackNumber, std::optional<qint64> discNumber)
    : id(id),
      artist(std::move(artist)),
      album(std::move(album)),
      title(std::move(title)),
      durationSeconds(durationSeconds),
      filePath(std::move(filePath)),
      fileExtension(std::move(fileExtension)),
      lastModified(std::move(lastModified)),
      subTrackIndex(subTrackIndex),
      trackNumber(trackNumber),
      discNumber(discNumber)
{
}

MediaDatabase::MediaDatabase(const std::optional<QString>& path)
{
    open(path);
    if (path) {
        refuseUnusableHeader(*path);
        refuseDamagedPages(*path, {});
    }
    createSchema();
    m_checked = true;
}

MediaDatabase::~MediaDatabase() = default;

void MediaDatabase::open(const std::optional<QString>& path)
{
    m_path = path;
    if (path) {
        const std::filesystem::path parent = std::filesystem::path(path->toStdString()).parent_path();
        std::error_code error;
        if (!parent.empty())
            std::filesystem::create_directories(parent, error);
        if (error) {
            throw MediaDatabaseError::cannotOpen(
                *path, QStringLiteral("Cannot create folder ") + QString::fromStdString(parent.string())
                           + QStringLiteral(": ") + QString::fromStdString(error.message()));
        }
    }
    openConnection(path.value_or(QStringLiteral(":memory:")));
}

void MediaDatabase::openConnection(const QString& databasePath)
{
    sqlite3* handle = nullptr;
    const int result = sqlite3_open_v2(databasePath.toUtf8().constData(), &handle,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Owned from here on, so a handle that a failed open returned is closed too.
    m_db.reset(handle);
    if (result != SQLITE_OK)
        throw MediaDatabaseError::cannotOpen(databasePath, handle ? sqliteMessage(handle) : QStringLiteral("unknown"));
    sqlite3_busy_timeout(handle, busyTimeoutMilliseconds);
}

void MediaDatabase::refuseUnusableHeader(const QString& path)
{
    sqlite3* db = m_db.get();
    // Until the file passes, closing the connection must not fold its WAL
    // into it: a refused file stays as it was.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    const FirstValue version = firstValue(db, "PRAGMA user_version");
    if (isDamage(version.result))
        throw MediaDatabaseError::damaged(path, version.text);
    if (version.result == SQLITE_ROW && version.text.toLongLong() > schemaVersion)
        throw MediaDatabaseError::newerVersion(path, version.text.toLongLong());
}

void MediaDatabase::refuseDamagedPages(const QString& path, std::stop_token stop)
{
    sqlite3* db = m_db.get();
    // A stop interrupts the reading: SQLite asks every thousand steps.
    if (stop.stop_possible()) {
        const auto stopped = [](void* token) { return static_cast<std::stop_token*>(token)->stop_requested() ? 1 : 0; };
        sqlite3_progress_handler(db, 1000, stopped, &stop);
    }
    // Reads every page once; a page that does not hold together fails here
    // rather than in some later query.
    const FirstValue check = firstValue(db, "PRAGMA quick_check(1)");
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    if (check.result == SQLITE_INTERRUPT)
        throw CancellationError();
    if (isDamage(check.result) || (check.result == SQLITE_ROW && check.text != QLatin1String("ok")))
        throw MediaDatabaseError::damaged(path, check.text);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
}

void MediaDatabase::migrateIfNeeded()
{
    qint64 version = schemaVersion;
    try {
        SqliteStatement statement(m_db.get(), QByteArrayLiteral("PRAGMA user_version"));
        if (statement.step() == SQLITE_ROW)
            version = statement.int64(0);
    } catch (const MediaDatabaseError&) {
        // Unreadable version: the schema script below reports the real fault.
    }
    if (version >= schemaVersion)
        return;
    // Marks are only as good as the rows written beside them, which an older
    // program wrote without keeping marks up to date.
    QByteArray sql = "DROP TABLE IF EXISTS file_marks; ";
    if (version < firstVersionWithCurrentTracks)
        sql += "DROP TABLE IF EXISTS tracks; ";
    sql += "PRAGMA user_version = " + QByteArray::number(schemaVersion) + ";";
    runSchemaScript(m_db.get(), sql.constData());
}

void MediaDatabase::createSchema()
{
    migrateIfNeeded();
    runSchemaScript(m_db.get(), schemaScript);
    const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(schemaVersion);
    sqlite3_exec(m_db.get(), setVersion.constData(), nullptr, nullptr, nullptr);
}

QByteArray MediaDatabase::tableName(Table table)
{
    switch (table) {
    case Table::tracks: return QByteArrayLiteral("tracks");
    case Table::fileMarks: return QByteArrayLiteral("file_marks");
    case Table::mountPoints: return QByteArrayLiteral("mount_points");
    }
    return {};
}

qint64 MediaDatabase::countTracks(const QString& underDirectory)
{
    const PrefixRange range = prefixRange(directoryPrefix(underDirectory));
    const QByteArray sql = "SELECT COUNT(*) FROM tracks WHERE " + prefixCondition(range);
    const std::unique_lock lock = lockChecked();
    SqliteStatement statement(m_db.get(), sql);
    bindPrefix(statement, range);
    if (statement.step() != SQLITE_ROW)
        throw MediaDatabaseError::queryFailed(statement.errorMessage());
    return statement.int64(0);
}

void MediaDatabase::removeTracksUnderDirectory(const QString& directory)
{
    const QString prefix = directoryPrefix(directory);
    const std::unique_lock lock = lockChecked();
    Transaction transaction(m_db.get(), Transaction::Purpose::query);
    removePrefixLocked(Table::tracks, prefix);
    removePrefixLocked(Table::fileMarks, prefix);
    removePrefixLocked(Table::mountPoints, prefix);
    removePathsLocked(Table::mountPoints, {prefix.chopped(1)});
    transaction.commit();
}

qint64 MediaDatabase::removeTracksWithPathPrefix(const QString& prefix)
{
    const std::unique_lock lock = lockChecked();
    return removePrefixLocked(Table::tracks, prefix);
}

qint64 MediaDatabase::removePrefixLocked(Table table, const QString& prefix)
{
    if (table == Table::tracks)
        ++m_writes;
    const PrefixRange range = prefixRange(prefix);
    SqliteStatement statement(m_db.get(), "DELETE FROM " + tableName(table) + " WHERE " + prefixCondition(range));
    bindPrefix(statement, range);
    if (statement.step() != SQLITE_DONE)
        throw MediaDatabaseError::queryFailed(statement.errorMessage());
    return sqlite3_changes64(m_db.get());
}

QStringList MediaDatabase::filePathsWithPrefix(const QString& prefix)
{
    const PrefixRange range = prefixRange(prefix);
    const QByteArray sql =
        "SELECT DISTINCT file_path FROM tracks WHERE " + prefixCondition(range) + " ORDER BY file_path";
    const std::unique_lock lock = lockChecked();
    SqliteStatement statement(m_db.get(), sql);
    bindPrefix(statement, range);
    QStringList paths;
    statement.forEachRow([&](const SqliteStatement& row) { paths.append(row.path(0)); });
    return paths;
}

QList<MediaDatabase::TrackRow> MediaDatabase::readRowsLocked(const QByteArray& sql,
                                                             const std::function<void(SqliteStatement&)>& bind)
{
    SqliteStatement statement(m_db.get(), sql);
    if (bind)
        bind(statement);
    QList<TrackRow> rows;
    statement.forEachRow([&](const SqliteStatement& row) { rows.append(readRow(row)); });
    return rows;
}

QList<MediaDatabase::TrackRow> MediaDatabase::allTracks()
{
    const std::unique_lock lock = lockChecked();
    return readRowsLocked(allTracksSql, {});
}

std::vector<qint64> MediaDatabase::readLibrary(int pieces,
                                               const std::function<void(int piece, const TrackRowBytes&)>& row)
{
    const std::unique_lock lock = lockChecked();
    const FirstValue lowest = firstValue(m_db.get(), "SELECT min(id) FROM tracks");
    const FirstValue highest = firstValue(m_db.get(), "SELECT max(id) FROM tracks");
    const qint64 first = lowest.text.toLongLong();
    const qint64 span = (highest.text.toLongLong() - first) / pieces + 1;
    const auto readPiece = [&](sqlite3* db, int piece) {
        SqliteStatement rows(db, rangeOfTracksSql);
        rows.bind(1, first + span * piece);
        rows.bind(2, first + span * (piece + 1));
        rows.forEachRow([&row, piece](const SqliteStatement& stored) {
            const qint64 subTrack = stored.int64(8);
            row(piece, TrackRowBytes{stored.int64(0), stored.bytes(1), stored.bytes(2), stored.bytes(3),
                                     optionalInteger(stored, 4), stored.bytes(5),
                                     subTrack < 0 ? std::nullopt : std::optional<qint64>(subTrack),
                                     optionalInteger(stored, 9), optionalInteger(stored, 10)});
        });
    };
    std::vector<std::future<void>> reading;
    if (m_path) {
        // On the pool's lasting threads, whose heaps then hold the entries
        // and little else (see FreedMemory).
        for (int piece = 0; piece < pieces; ++piece) {
            auto done = std::make_shared<std::promise<void>>();
            reading.push_back(done->get_future());
            m_readers.start([this, piece, &readPiece, done] {
                try {
                    readPiece(openReadOnly(*m_path).get(), piece);
                    done->set_value();
                } catch (...) {
                    done->set_exception(std::current_exception());
                }
            });
        }
    } else {
        for (int piece = 0; piece < pieces; ++piece)
            readPiece(m_db.get(), piece);
    }
    // The runs use this frame: every one is waited for, whatever fails.
    std::vector<qint64> ids;
    std::exception_ptr failure;
    try {
        SqliteStatement order(m_db.get(), idsByLookupSql);
        order.forEachRow([&ids](const SqliteStatement& stored) { ids.push_back(stored.int64(0)); });
    } catch (...) {
        failure = std::current_exception();
    }
    for (std::future<void>& piece : reading) {
        try {
            piece.get();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    return ids;
}

SqliteConnection MediaDatabase::openReadOnly(const QString& path)
{
    sqlite3* handle = nullptr;
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr);
    SqliteConnection connection(handle);
    if (result != SQLITE_OK)
        throw MediaDatabaseError::cannotOpen(path, handle ? sqliteMessage(handle) : QStringLiteral("unknown"));
    sqlite3_busy_timeout(handle, busyTimeoutMilliseconds);
    const QByteArray cacheSize = "PRAGMA cache_size = " + QByteArray::number(readingCachePages);
    sqlite3_exec(handle, cacheSize.constData(), nullptr, nullptr, nullptr);
    return connection;
}

QList<MediaDatabase::TrackRow> MediaDatabase::findTracks(const QString& artist, const QString& album,
                                                         const QString& title, std::optional<qint64> durationSeconds)
{
    const std::unique_lock lock = lockChecked();
    return readRowsLocked(durationSeconds ? findTracksByDurationSql : findTracksSql, [&](SqliteStatement& statement) {
        statement.bind(1, artist);
        statement.bind(2, album);
        statement.bind(3, title);
        if (durationSeconds)
            statement.bind(4, *durationSeconds);
    });
}

QHash<QString, QDateTime> MediaDatabase::allFileModTimes()
{
    QHash<QString, QDateTime> times;
    forEachFileModTime(
        [&times](QByteArrayView path, const QDateTime& date) { times.insert(pathFromBytes(path), date); });
    return times;
}

void MediaDatabase::forEachFileModTime(const std::function<void(QByteArrayView path, const QDateTime& date)>& visit)
{
    const std::unique_lock lock = lockChecked();
    SqliteStatement statement(m_db.get(), QByteArrayLiteral("SELECT file_path, last_modified FROM tracks"));
    statement.forEachRow(
        [&visit](const SqliteStatement& row) { visit(row.bytes(0), dateFromSecondsSince1970(row.real(1))); });
}

void MediaDatabase::removeTracksWithPaths(const QStringList& paths)
{
    removePaths(Table::tracks, paths);
}

void MediaDatabase::removePaths(Table table, const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const std::unique_lock lock = lockChecked();
    Transaction transaction(m_db.get(), Transaction::Purpose::query);
    removePathsLocked(table, paths);
    transaction.commit();
}

void MediaDatabase::removePathsLocked(Table table, const QStringList& paths)
{
    if (table == Table::tracks)
        ++m_writes;
    // SQLite limits the host parameters of one statement, so long lists go
    // in chunks; the caller's transaction keeps them all or nothing.
    std::optional<SqliteStatement> statement;
    qsizetype preparedSize = 0;
    for (qsizetype start = 0; start < paths.size(); start += pathsPerDelete) {
        const qsizetype size = std::min<qsizetype>(pathsPerDelete, paths.size() - start);
        if (size != preparedSize) {
            QByteArray sql = "DELETE FROM " + tableName(table) + " WHERE file_path IN (";
            for (qsizetype i = 1; i <= size; ++i)
                sql += (i > 1 ? ", ?" : "?") + QByteArray::number(i);
            sql += ')';
            statement.reset();
            statement.emplace(m_db.get(), sql);
            preparedSize = size;
        } else {
            statement->reset();
        }
        for (qsizetype i = 0; i < size; ++i)
            statement->bindPath(static_cast<int>(i + 1), paths.at(start + i));
        if (statement->step() != SQLITE_DONE)
            throw MediaDatabaseError::queryFailed(statement->errorMessage());
    }
}

QHash<QString, MediaDatabase::FileMark> MediaDatabase::allFileMarks()
{
    const std::unique_lock lock = lockChecked();
    SqliteStatement statement(m_db.get(),
                              QByteArrayLiteral("SELECT file_path, file_size, last_modified, kind FROM file_marks"));
    QHash<QString, FileMark> marks;
    statement.forEachRow([&](const SqliteStatement& row) {
        const FileMark::Kind kind = row.text(3) == markKindText(FileMark::Kind::completeArchive)
                                        ? FileMark::Kind::completeArchive
                                        : FileMark::Kind::refused;
        FileMark mark{row.path(0), row.int64(1), dateFromSecondsSince1970(row.real(2)), kind};
        marks.insert(mark.filePath, std::move(mark));
    });
    return marks;
}

void MediaDatabase::addFileMarks(const QList<FileMark>& marks)
{
    if (marks.isEmpty())
        return;
    const std::unique_lock lock = lockChecked();
    Transaction transaction(m_db.get(), Transaction::Purpose::insert);
    SqliteStatement statement(m_db.get(), addMarkSql);
    for (const FileMark& mark : marks) {
        statement.reset();
        statement.bindPath(1, mark.filePath);
        statement.bind(2, mark.size);
        statement.bind(3, secondsSince1970(mark.lastModified));
        statement.bind(4, markKindText(mark.kind));
        if (statement.step() != SQLITE_DONE)
            throw MediaDatabaseError::insertFailed(statement.errorMessage());
    }
    transaction.commit();
}

void MediaDatabase::removeFileMarks(const QStringList& paths)
{
    removePaths(Table::fileMarks, paths);
}

QStringList MediaDatabase::mountPoints()
{
    const std::unique_lock lock = lockChecked();
    SqliteStatement statement(m_db.get(), QByteArrayLiteral("SELECT file_path FROM mount_points ORDER BY file_path"));
    QStringList paths;
    statement.forEachRow([&](const SqliteStatement& row) { paths.append(row.path(0)); });
    return paths;
}

void MediaDatabase::replaceMountPoints(const QStringList& paths)
{
    const std::unique_lock lock = lockChecked();
    Transaction transaction(m_db.get(), Transaction::Purpose::insert);
    SqliteStatement clear(m_db.get(), QByteArrayLiteral("DELETE FROM mount_points"));
    if (clear.step() != SQLITE_DONE)
        throw MediaDatabaseError::queryFailed(clear.errorMessage());
    SqliteStatement statement(m_db.get(),
                              QByteArrayLiteral("INSERT OR IGNORE INTO mount_points (file_path) VALUES (?1)"));
    for (const QString& path : paths) {
        statement.reset();
        statement.bindPath(1, path);
        if (statement.step() != SQLITE_DONE)
            throw MediaDatabaseError::insertFailed(statement.errorMessage());
    }
    transaction.commit();
}

void MediaDatabase::upsert(const TrackRow& row)
{
    const std::unique_lock lock = lockChecked();
    upsertLocked({row});
}

void MediaDatabase::upsert(const QList<TrackRow>& rows)
{
    if (rows.isEmpty())
        return;
    const std::unique_lock lock = lockChecked();
    Transaction transaction(m_db.get(), Transaction::Purpose::insert);
    upsertLocked(rows);
    transaction.commit();
}

void MediaDatabase::replaceTracks(const QString& filePath, const QList<TrackRow>& rows)
{
    const std::unique_lock lock = lockChecked();
    Transaction transaction(m_db.get(), Transaction::Purpose::insert);
    removePathsLocked(Table::tracks, {filePath});
    upsertLocked(rows);
    transaction.commit();
}

void MediaDatabase::upsertLocked(const QList<TrackRow>& rows)
{
    ++m_writes;
    SqliteStatement statement(m_db.get(), upsertSql);
    for (const TrackRow& row : rows) {
        statement.reset();
        statement.bind(1, row.artist);
        statement.bind(2, row.album);
        statement.bind(3, row.title);
        statement.bind(4, row.durationSeconds);
        statement.bindPath(5, row.filePath);
        statement.bind(6, row.fileExtension);
        statement.bind(7, secondsSince1970(row.lastModified));
        // Every negative index means "no sub-track" and shares the one key -1.
        statement.bind(8, std::max<qint64>(row.subTrackIndex.value_or(-1), -1));
        statement.bind(9, row.trackNumber);
        statement.bind(10, row.discNumber);
        if (statement.step() != SQLITE_DONE)
            throw MediaDatabaseError::insertFailed(statement.errorMessage());
    }
}

} // namespace vessa
