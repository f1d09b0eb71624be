#include "RaskoLocalFile/MediaDatabase.h"

#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteStatement.h"
#include "RaskoLocalFile/SqliteTransaction.h"
#include "VessaCore/FileNameBytes.h"

#include <QCoreApplication>
#include <filesystem>
#include <system_error>

namespace vessa {

namespace {

const char* const findTracksWhere = "WHERE artist = ?1 COLLATE NOCASE\n"
                                    "  AND album = ?2 COLLATE NOCASE\n"
                                    "  AND title = ?3 COLLATE NOCASE\n";

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

MediaDatabase::~MediaDatabase()
{
    // SQLite keeps the WAL of a file that has moved when closing, and would
    // fold it into a file overwritten in place, so a file replaced since the
    // last call must be noticed now.
    const std::lock_guard lock(m_mutex);
    if (m_db)
        leaveReplacedFileLocked();
}

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
                *path, QCoreApplication::translate("MediaDatabaseError", "Cannot create folder %1: %2")
                           .arg(QString::fromStdString(parent.string()), QString::fromStdString(error.message())));
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
        throw MediaDatabaseError::cannotOpen(databasePath, sqliteMessage(handle));
    sqlite3_busy_timeout(handle, busyTimeoutMilliseconds);
    // The WAL is folded into the file at the end of each call that writes,
    // once the file is known to be still this program's (settleLocked()),
    // never in the middle of one.
    sqlite3_wal_autocheckpoint(handle, 0);
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
    const WriteLock lock(*this);
    SqliteTransaction transaction(m_db.get(), SqliteTransaction::Purpose::query);
    removePrefixLocked(Table::tracks, prefix);
    removePrefixLocked(Table::fileMarks, prefix);
    removePrefixLocked(Table::mountPoints, prefix);
    removePathsLocked(Table::mountPoints, {prefix.chopped(1)});
    transaction.commit();
}

qint64 MediaDatabase::removeTracksWithPathPrefix(const QString& prefix)
{
    const WriteLock lock(*this);
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

QByteArray MediaDatabase::selectRows(const QByteArray& clauses)
{
    return "SELECT id, artist, album, title, duration_seconds, file_path, file_extension, last_modified, "
           "sub_track_index, track_number, disc_number\n"
           "FROM tracks\n"
           + clauses;
}

MediaDatabase::TrackRow MediaDatabase::readRow(const SqliteStatement& statement)
{
    const qint64 subTrack = statement.int64(8);
    return TrackRow(statement.int64(0), statement.text(1), statement.text(2), statement.text(3),
                    statement.optionalInt64(4), statement.path(5), statement.text(6),
                    dateFromSecondsSince1970(statement.real(7)),
                    subTrack < 0 ? std::nullopt : std::optional<qint64>(subTrack), statement.optionalInt64(9),
                    statement.optionalInt64(10));
}

MediaDatabase::TrackRowBytes MediaDatabase::readRowBytes(const SqliteStatement& statement)
{
    const qint64 subTrack = statement.int64(8);
    return TrackRowBytes{statement.int64(0),
                         statement.bytes(1),
                         statement.bytes(2),
                         statement.bytes(3),
                         statement.optionalInt64(4),
                         statement.bytes(5),
                         subTrack < 0 ? std::nullopt : std::optional<qint64>(subTrack),
                         statement.optionalInt64(9),
                         statement.optionalInt64(10)};
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

QList<MediaDatabase::TrackRow> MediaDatabase::findTracks(const QString& artist, const QString& album,
                                                         const QString& title, std::optional<qint64> durationSeconds)
{
    static const QByteArray anyDurationSql = selectRows(findTracksWhere + QByteArrayLiteral("ORDER BY id ASC"));
    static const QByteArray durationFirstSql = selectRows(
        findTracksWhere + QByteArrayLiteral("ORDER BY CASE WHEN duration_seconds = ?4 THEN 0 ELSE 1 END, id ASC"));
    const std::unique_lock lock = lockChecked();
    return readRowsLocked(durationSeconds ? durationFirstSql : anyDurationSql, [&](SqliteStatement& statement) {
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
    const WriteLock lock(*this);
    SqliteTransaction transaction(m_db.get(), SqliteTransaction::Purpose::query);
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

void MediaDatabase::upsert(const TrackRow& row)
{
    const WriteLock lock(*this);
    upsertLocked({row});
}

void MediaDatabase::upsert(const QList<TrackRow>& rows)
{
    if (rows.isEmpty())
        return;
    const WriteLock lock(*this);
    SqliteTransaction transaction(m_db.get(), SqliteTransaction::Purpose::insert);
    upsertLocked(rows);
    transaction.commit();
}

void MediaDatabase::replaceTracks(const QString& filePath, const QList<TrackRow>& rows)
{
    const WriteLock lock(*this);
    SqliteTransaction transaction(m_db.get(), SqliteTransaction::Purpose::insert);
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
