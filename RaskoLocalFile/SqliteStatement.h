#pragma once

// Used only inside this module's .cpp files: it includes SQLite's own header.

#include "RaskoLocalFile/SqliteConnection.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <functional>
#include <optional>

namespace vessa {

// SQLite's message for the connection's last failed call, "unknown" without one.
QString sqliteMessage(sqlite3* db);
// The reason a media database error gives where SQLite gives none: "unknown".
QString unknownSqliteReason();

// The first column of the first row of a one-statement query as text, or
// the failure's code and message. `stopped`, when given, is asked once the
// statement is prepared, right before it runs: true ends it there with
// SQLITE_INTERRUPT (preparing may read the file, and SQLite forgets an
// interrupt that comes before a statement runs).
struct SqliteFirstValue {
    int result = SQLITE_OK;
    QString text;
};
SqliteFirstValue firstValue(sqlite3* db, const char* sql, const std::function<bool()>& stopped = {});

// One prepared statement, finalized when dropped. Not thread-safe: the owner
// of the connection serialises its use.
class SqliteStatement {
public:
    // Prepares `sql`; a failure throws MediaDatabaseError::queryFailed.
    SqliteStatement(sqlite3* db, const QByteArray& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters are numbered from 1. A failed bind is remembered and
    // returned by the next step(), which then does not run.
    void bind(int index, qint64 value);
    void bind(int index, double value);
    void bind(int index, const QString& text);
    void bindUtf8(int index, const QByteArray& text);
    // A file path, byte-exact (see pathToBytes()).
    void bindPath(int index, const QString& path);
    void bind(int index, std::optional<qint64> value);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Steps through every row, handing each to `row`. A step that fails part
    // way throws MediaDatabaseError::queryFailed, so that a partial result is
    // never taken for the whole.
    void forEachRow(const std::function<void(const SqliteStatement&)>& row);
    // Makes the statement ready for new bindings.
    void reset();

    bool isNull(int column) const;
    qint64 int64(int column) const;
    // None for NULL.
    std::optional<qint64> optionalInt64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    // The stored bytes of a text, valid until the next step.
    QByteArrayView bytes(int column) const;
    // A file path stored by bindPath().
    QString path(int column) const;

    // The message of the last failure (bind or step).
    QString errorMessage() const;

private:
    void noteBind(int result);

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
    int m_bindResult = SQLITE_OK;
    QString m_bindMessage;
};

} // namespace vessa
