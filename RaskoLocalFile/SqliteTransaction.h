#pragma once

// Used only inside this module's .cpp files, as SqliteStatement.h is.

#include <sqlite3.h>

namespace vessa {

// BEGIN IMMEDIATE ... COMMIT on one connection; rolled back when left
// without commit(). Not thread-safe: the owner of the connection serialises
// its use.
class SqliteTransaction {
public:
    // Which failure a transaction that cannot begin or commit reports:
    // MediaDatabaseError::queryFailed or insertFailed.
    enum class Purpose { query, insert };

    SqliteTransaction(sqlite3* db, Purpose purpose);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void commit();

private:
    void run(const char* sql);

    sqlite3* m_db;
    Purpose m_purpose;
    bool m_committed = false;
};

} // namespace vessa
