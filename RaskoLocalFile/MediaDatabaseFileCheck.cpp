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
    leaveReplacedFileLocked();
    if (!m_checked)
        checkPagesLocked(stop);
    refuseOverwrittenFileLocked();
    return lock;
}

void MediaDatabase::checkPagesLocked(std::stop_token stop)
{
    if (m_replaced == Replacement::none) {
        try {
            refuseDamagedPages(*m_path, stop);
        } catch (const MediaDatabaseError& refusal) {
            replaceRefusedFileLocked(refusal);
            return;
        }
    }
    // A file put in this one's place before or during its check is the next
    // start's to check; this run goes on with its own, when it still has it.
    m_checked = true;
    if (leaveReplacedFileLocked() && m_replaced == Replacement::overwritten)
        return;
    createSchemaKeepingFailureLocked();
}

void MediaDatabase::createSchemaKeepingFailureLocked()
{
    try {
        createSchema();
    } catch (...) {
        m_failure = std::current_exception();
        throw;
    }
}

void MediaDatabase::replaceRefusedFileLocked(const MediaDatabaseError& refusal)
{
    try {
        // The file at the path is moved aside only while it is the one
        // refused; a file put there meanwhile is the next start's to check,
        // and this run cannot go on with its own.
        if (leaveReplacedFileLocked())
            throw refusal;
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
