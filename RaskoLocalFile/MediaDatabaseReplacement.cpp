// The media database's file replaced or removed while the connection is
// open. SQLite goes on with the file it opened, but finds its WAL and shared
// memory by the path: left there, they would be applied to whatever file
// comes to the path (a backup put back in its place), and a connection
// opened later by the path would read that file through them.

#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/SqliteStatement.h"
#include "VessaCore/Logging.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vessa {

namespace {

// Whether SQLite still finds the file it has open at the path it opened.
bool isAtItsPath(sqlite3* db)
{
    int moved = 0;
    return sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved == 0;
}

} // namespace

std::optional<MediaDatabase::FileIdentity> MediaDatabase::identityOf(const QByteArray& path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

void MediaDatabase::recordOpenFilesLocked()
{
    // Only while the path names the file the connection has open: then the
    // side files there are the ones SQLite opened beside it.
    if (!m_path || m_replaced || !isAtItsPath(m_db.get()))
        return;
    m_fileName = sqlite3_db_filename(m_db.get(), "main");
    m_file = identityOf(m_fileName);
    m_wal = identityOf(m_fileName + "-wal");
    m_shm = identityOf(m_fileName + "-shm");
}

bool MediaDatabase::fileReplacedLocked() const
{
    if (!m_file)
        return false;
    struct stat info {};
    if (::stat(m_fileName.constData(), &info) != 0)
        return errno == ENOENT;
    return FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)} != *m_file;
}

void MediaDatabase::leaveReplacedFileLocked()
{
    if (m_replaced || !fileReplacedLocked())
        return;
    m_replaced = true;
    logWarning(lcLocalFileScan(), QStringLiteral("The media database at %1 was replaced or removed while in use: this "
                                                 "run keeps the file it opened, and the next start opens the one there")
                                      .arg(*m_path));
    // The WAL goes into the file the connection has open, which only it
    // reaches now, and is emptied; SQLite's own checkpoint at closing skips
    // a file that has moved.
    sqlite3_exec(m_db.get(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    // The side files that are still this connection's go from beside the
    // new file (the connection keeps them open); any others are its own.
    const auto removeOwn = [](const QByteArray& name, const std::optional<FileIdentity>& own) {
        if (own && identityOf(name) == own && ::unlink(name.constData()) != 0)
            logWarning(lcLocalFileScan(),
                       QStringLiteral("Cannot remove %1: %2")
                           .arg(QString::fromLocal8Bit(name), QString::fromLocal8Bit(std::strerror(errno))));
    };
    removeOwn(m_fileName + "-wal", m_wal);
    removeOwn(m_fileName + "-shm", m_shm);
}

SqliteConnection MediaDatabase::openReaderLocked() const
{
    SqliteConnection reader = openReadOnly(*m_path);
    // Each compares the file it opened with the one at the path.
    if (!isAtItsPath(reader.get()) || fileReplacedLocked())
        return {};
    return reader;
}

} // namespace vessa
