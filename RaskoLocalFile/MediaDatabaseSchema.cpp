// The media database's schema: making it, bringing an older file up to date,
// and refusing a file that cannot be used.

#include "RaskoLocalFile/LibraryOrder.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteStatement.h"
#include "VessaCore/Error.h"

#include <stop_token>

namespace vessa {

namespace {

const char* const tracksTableSql = "PRAGMA journal_mode=WAL;\n"
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
                                   "\n";

const char* const otherTablesSql = "CREATE INDEX IF NOT EXISTS idx_tracks_path\n"
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

// The lookup index gives the library's order without a sort, but for the
// disc-track key.
QByteArray schemaScript()
{
    return tracksTableSql
           + ("CREATE INDEX IF NOT EXISTS idx_tracks_lookup\n    ON tracks("
              + LibraryOrder::sql(LibraryOrder::Sql::lookupIndexColumns) + ");\n\n")
           + otherTablesSql;
}

// The oldest version whose `tracks` rows this program reads as they are.
constexpr int firstVersionWithCurrentTracks = 3;

// Runs statements that build or rebuild the schema; a failure throws
// schemaCreationFailed with SQLite's message.
void runSchemaScript(sqlite3* db, const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = message ? QString::fromUtf8(message) : unknownSqliteReason();
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

} // namespace

void MediaDatabase::refuseUnusableHeader(const QString& path)
{
    sqlite3* db = m_db.get();
    // Until the file passes, closing the connection must not fold its WAL
    // into it: a refused file stays as it was.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    const SqliteFirstValue version = firstValue(db, "PRAGMA user_version");
    if (isDamage(version.result))
        throw MediaDatabaseError::damaged(path, version.text);
    if (version.result == SQLITE_ROW && version.text.toLongLong() > schemaVersion)
        throw MediaDatabaseError::newerVersion(path, version.text.toLongLong());
    recordOpenFilesLocked();
}

void MediaDatabase::refuseDamagedPages(const QString& path, std::stop_token stop)
{
    sqlite3* db = m_db.get();
    const std::stop_token quitting = m_stopChecks.get_token();
    const auto stopped = [&] { return stop.stop_requested() || quitting.stop_requested(); };
    // The check is one long step of SQLite's, which hears of a stop only
    // through an interrupt. An interrupt before the step starts is lost
    // (preparing it reads the file too), so a stop is looked for once the
    // callbacks are there and the statement is prepared, just before it.
    const auto interrupt = [db] { sqlite3_interrupt(db); };
    const std::stop_callback callerStops(stop, interrupt);
    const std::stop_callback quitStops(quitting, interrupt);
    // Reads every page once; a page that does not hold together fails here
    // rather than in some later query.
    const SqliteFirstValue check = firstValue(db, "PRAGMA quick_check(1)", stopped);
    // Whatever a stopped check found, the file stays as it is.
    if (check.result == SQLITE_INTERRUPT || stopped())
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
    runSchemaScript(m_db.get(), schemaScript().constData());
    const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(schemaVersion);
    sqlite3_exec(m_db.get(), setVersion.constData(), nullptr, nullptr, nullptr);
    // In WAL mode by now, with its side files open; what was written goes
    // into the file.
    recordOpenFilesLocked();
    settleLocked();
}

} // namespace vessa
