// The media database's page check, when it is put off until the database is
// first used.
#include "RaskoLocalFile/MediaDatabase.h"

#include <QFileInfo>

namespace vessa {

MediaDatabase::MediaDatabase(const QString& path, MoveAside moveAside) : m_moveAside(std::move(moveAside))
{
    // A file that holds nothing yet (a new one) has no pages to wait for.
    const bool empty = QFileInfo(path).size() == 0;
    open(path);
    refuseUnusableHeader(path);
    if (empty) {
        refuseDamagedPages(path, {});
        createSchema();
        m_checked = true;
    }
}

std::optional<MediaDatabase::Refused> MediaDatabase::checkFile(std::stop_token stop)
{
    const std::unique_lock lock = lockChecked(stop);
    return m_refused;
}

std::unique_lock<std::mutex> MediaDatabase::lockChecked(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (!m_checked)
        checkPagesLocked(stop);
    leaveReplacedFileLocked();
    return lock;
}

void MediaDatabase::checkPagesLocked(std::stop_token stop)
{
    try {
        refuseDamagedPages(*m_path, stop);
    } catch (const MediaDatabaseError& refusal) {
        replaceRefusedFileLocked(refusal);
        return;
    }
    try {
        createSchema();
    } catch (...) {
        m_failure = std::current_exception();
        throw;
    }
    m_checked = true;
}

void MediaDatabase::replaceRefusedFileLocked(const MediaDatabaseError& refusal)
{
    try {
        // Closing the connection leaves the file as it was.
        m_db.reset();
        const QString keptPath = m_moveAside(refusal);
        openConnection(*m_path);
        createSchema();
        m_refused = Refused{refusal, keptPath};
        m_checked = true;
    } catch (...) {
        m_failure = std::current_exception();
        throw;
    }
}

} // namespace vessa
