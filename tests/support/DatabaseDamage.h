#pragma once

// Ways a closed media database file goes bad, made by hand. The including
// test links SQLite.

#include "RaskoLocalFile/MediaDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaType>

#include <sqlite3.h>

namespace vessa::test {

enum class DatabaseDamage {
    damagedPage,  // the second page overwritten with a byte pattern
    truncated,    // cut to half its length
    text,         // plain text in its place
    newerVersion, // a higher schema version, in a change left in its WAL
};

// Damages the database file at `path`, which holds a few rows; false when it could not.
inline bool damageDatabase(const QString& path, DatabaseDamage damage)
{
    QFile file(path);
    switch (damage) {
    case DatabaseDamage::damagedPage:
        return file.size() >= 2 * 4096 && file.open(QIODevice::ReadWrite) && file.seek(4096)
               && file.write(QByteArray(4096, char(0xA5))) == 4096;
    case DatabaseDamage::truncated: return file.resize(file.size() / 2);
    case DatabaseDamage::text:
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
               && file.write(QByteArray("These are notes, not a database.\n").repeated(100)) > 0;
    case DatabaseDamage::newerVersion: {
        // As a newer program that stopped before folding its WAL back.
        sqlite3* db = nullptr;
        const QByteArray sql = "PRAGMA user_version = " + QByteArray::number(MediaDatabase::schemaVersion + 1);
        const bool written = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK
                             && sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) == SQLITE_OK
                             && sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return written && QFileInfo(path + QStringLiteral("-wal")).size() > 0;
    }
    }
    return false;
}

// The bytes of the database's WAL file; none when it is missing (opening
// a database in WAL mode may leave an empty one).
inline QByteArray walFrames(const QString& path)
{
    QFile file(path + QStringLiteral("-wal"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace vessa::test

Q_DECLARE_METATYPE(vessa::test::DatabaseDamage)
