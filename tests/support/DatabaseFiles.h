#pragma once

// A media database file seen from outside the program that has it open: plain
// SQL on a connection of its own, rows left in its WAL as by a program cut off
// before folding it back, and the rows the next start would find if the
// program were killed now. The including test links SQLite.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace vessa::test {

// Runs `sql` on a second, plain connection; returns the first column of the first row.
inline QString rawQuery(const QString& file, const char* sql)
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

// Adds rows through a connection that leaves them in the WAL, as a program
// cut off before folding it back.
inline void addRowsLeftInWal(const QString& file, const QString& folder, int count)
{
    sqlite3* db = nullptr;
    const QByteArray sql = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                           + QByteArray::number(count) + ") INSERT INTO tracks (file_path, last_modified) SELECT '"
                           + folder.toUtf8() + "/' || i, 0 FROM n";
    QVERIFY(sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    QVERIFY(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_close(db);
}

// The rows of the database at `file` with the WAL beside it (those whose
// path starts with `prefix`, when given), as a start after a kill now would
// find them: read from copies, as opening the files themselves could change
// them. -1 when there is no database to read.
inline int rowsIn(const QString& file, const QString& prefix = {})
{
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("copy.db"));
    if (!QFile::copy(file, copy))
        return -1;
    QFile::copy(file + "-wal", copy + "-wal");
    const QByteArray sql = "SELECT COUNT(*) FROM tracks WHERE file_path LIKE '" + prefix.toUtf8() + "%'";
    const QString count = rawQuery(copy, sql.constData());
    return count.isEmpty() ? -1 : count.toInt();
}

} // namespace vessa::test
