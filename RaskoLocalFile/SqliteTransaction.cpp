#include "RaskoLocalFile/SqliteTransaction.h"

#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteStatement.h"

namespace vessa {

SqliteTransaction::SqliteTransaction(sqlite3* db, Purpose purpose) : m_db(db), m_purpose(purpose)
{
    run("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction()
{
    if (!m_committed)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::commit()
{
    run("COMMIT");
    m_committed = true;
}

void SqliteTransaction::run(const char* sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString reason = sqliteMessage(m_db);
        throw m_purpose == Purpose::insert ? MediaDatabaseError::insertFailed(reason)
                                           : MediaDatabaseError::queryFailed(reason);
    }
}

} // namespace vessa
