// What scans remember beyond the rows: the file marks and the mount points.

#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteStatement.h"
#include "RaskoLocalFile/SqliteTransaction.h"

namespace vessa {

namespace {

const char* const addMarkSql =
    "INSERT OR REPLACE INTO file_marks (file_path, file_size, last_modified, kind) VALUES (?1, ?2, ?3, ?4)";

QString markKindText(MediaDatabase::FileMark::Kind kind)
{
    return kind == MediaDatabase::FileMark::Kind::completeArchive ? QStringLiteral("archive")
                                                                  : QStringLiteral("refused");
}

} // namespace

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
    const WriteLock lock(*this);
    SqliteTransaction transaction(m_db.get(), SqliteTransaction::Purpose::insert);
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
    const WriteLock lock(*this);
    SqliteTransaction transaction(m_db.get(), SqliteTransaction::Purpose::insert);
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

} // namespace vessa
