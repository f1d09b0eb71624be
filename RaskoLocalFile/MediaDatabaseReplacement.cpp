// The media database's file replaced while the connection is open: another
// file moved to its path (or the file removed), or the file overwritten in
// place. SQLite goes on with the file it opened, but finds its WAL and
// shared memory by the path, and applies a WAL to whatever database it finds
// beside it (its frames are checked against the WAL's own header only): left
// there, this connection's would be applied to the file put in its place at
// the next open, and a connection opened later by the path would read that
// file through them. So its side files go first, and a file overwritten
// under the connection is neither written nor checkpointed into again.

#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteStatement.h"
#include "VessaCore/Logging.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vessa {

namespace {

// Whether SQLite still finds the file it has open at the path it opened.
bool isAtItsPath(sqlite3* db)
{
    int moved = 0;
    return sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved == 0;
}

} // namespace

void MediaDatabase::recordOpenFilesLocked()
{
    // Only while the path names the file the connection has open: then the
    // side files there are the ones SQLite opened beside it.
    if (!m_path || m_replaced != Replacement::none || !isAtItsPath(m_db.get()))
        return;
    m_fileName = sqlite3_db_filename(m_db.get(), "main");
    m_left = FileIdentity::stampWithoutFollowingLinks(m_fileName);
    m_wal = FileIdentity::withoutFollowingLinks(m_fileName + "-wal");
    m_shm = FileIdentity::withoutFollowingLinks(m_fileName + "-shm");
}

MediaDatabase::Replacement MediaDatabase::replacementLocked() const
{
    if (!m_left)
        return Replacement::none;
    const std::optional<FileIdentity::Stamp> now = FileIdentity::stampWithoutFollowingLinks(m_fileName);
    if (!now)
        return errno == ENOENT || errno == ENOTDIR ? Replacement::moved : Replacement::none;
    if (now->identity != m_left->identity)
        return Replacement::moved;
    // The connection writes only into its WAL between two records, so the
    // file changes only when somebody else writes it. (SQLite's change
    // counter in the header tells nothing here: in WAL mode commits leave
    // it alone.) A file of the same size and modification time, to the
    // nanosecond, was copied from this one as it is.
    return *now == *m_left ? Replacement::none : Replacement::overwritten;
}

bool MediaDatabase::noticeReplacement(int steps)
{
    const std::lock_guard lock(m_mutex);
    return m_db && leaveReplacedFileLocked(steps);
}

bool MediaDatabase::leaveReplacedFileLocked(int steps)
{
    if (m_replaced == Replacement::none) {
        m_replaced = replacementLocked();
        if (m_replaced == Replacement::none)
            return false;
        if (m_replaced == Replacement::overwritten) {
            // SQLite's checkpoint at closing would write this run's WAL over
            // the new contents (it skips only a file that has moved).
            sqlite3_db_config(m_db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            logWarning(lcLocalFileScan(),
                       QStringLiteral("The media database at %1 was overwritten while in use: this run writes "
                                      "nothing more into it, and the next start opens it")
                           .arg(*m_path));
        } else {
            logWarning(lcLocalFileScan(),
                       QStringLiteral("The media database at %1 was replaced or removed while in use: this run "
                                      "keeps the file it opened, and the next start opens the one there")
                           .arg(*m_path));
        }
    }
    // The side files that are still this connection's go from beside the
    // file now at the path (the connection keeps them open); any others are
    // that file's own. Each call does what an earlier one left.
    const std::pair<QByteArray, std::optional<FileIdentity>> sideFiles[] = {{m_fileName + "-wal", m_wal},
                                                                            {m_fileName + "-shm", m_shm}};
    for (const auto& [name, own] : sideFiles) {
        if (!own || FileIdentity::withoutFollowingLinks(name) != own)
            continue;
        if (steps-- <= 0)
            break;
        if (::unlink(name.constData()) != 0)
            logWarning(lcLocalFileScan(),
                       QStringLiteral("Cannot remove %1: %2")
                           .arg(QString::fromLocal8Bit(name), QString::fromLocal8Bit(std::strerror(errno))));
    }
    return true;
}

void MediaDatabase::refuseOverwrittenFileLocked() const
{
    if (m_replaced == Replacement::overwritten)
        throw MediaDatabaseError::cannotOpen(
            *m_path, QCoreApplication::translate("MediaDatabaseError",
                                                 "it was overwritten while Vessa was running, and is left as it is "
                                                 "until Vessa starts again"));
}

void MediaDatabase::settleLocked() noexcept
{
    if (!m_path || !m_db || m_failure)
        return;
    if (leaveReplacedFileLocked() && m_replaced == Replacement::overwritten)
        return;
    // Readers elsewhere would hold the checkpoint up; they are not waited
    // for, and a WAL they keep from being emptied now is emptied by a later
    // call.
    sqlite3_busy_timeout(m_db.get(), 0);
    if (sqlite3_wal_checkpoint_v2(m_db.get(), "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) == SQLITE_BUSY)
        sqlite3_wal_checkpoint_v2(m_db.get(), "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    sqlite3_busy_timeout(m_db.get(), busyTimeoutMilliseconds);
    if (m_replaced == Replacement::none)
        m_left = FileIdentity::stampWithoutFollowingLinks(m_fileName);
}

void MediaDatabase::settleOrPutOffLocked() noexcept
{
    if (m_openBatches > 0)
        m_settlePutOff = true;
    else
        settleLocked();
}

MediaDatabase::WriteBatch::WriteBatch(MediaDatabase& database) : m_database(database)
{
    const std::lock_guard lock(m_database.m_mutex);
    ++m_database.m_openBatches;
}

MediaDatabase::WriteBatch::~WriteBatch()
{
    // Only after a call that wrote: that call found the file checked and
    // still this program's, and a batch that wrote nothing leaves alone a
    // file whose page check is still to come.
    const std::lock_guard lock(m_database.m_mutex);
    if (--m_database.m_openBatches == 0 && std::exchange(m_database.m_settlePutOff, false))
        m_database.settleLocked();
}

SqliteConnection MediaDatabase::openReaderLocked() const
{
    SqliteConnection reader = openReadOnly(*m_path);
    // Each compares the file it opened with the one at the path (readers on
    // several threads at once: by identity alone, as the caller has looked
    // at the contents).
    if (!isAtItsPath(reader.get()) || !m_left || FileIdentity::withoutFollowingLinks(m_fileName) != m_left->identity)
        return {};
    return reader;
}

} // namespace vessa
