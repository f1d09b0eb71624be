#include "RaskoLocalFile/PendingFileChanges.h"

namespace vessa {

void PendingFileChanges::recordModified(const QString& path)
{
    m_removed.remove(path);
    m_modified.insert(path);
}

void PendingFileChanges::recordRemoved(const QString& path)
{
    m_modified.remove(path);
    m_removed.insert(path);
}

DirectoryWatcher::EventBatch PendingFileChanges::take()
{
    DirectoryWatcher::EventBatch batch;
    batch.modified = QList<QString>(m_modified.cbegin(), m_modified.cend());
    batch.removed = QList<QString>(m_removed.cbegin(), m_removed.cend());
    batch.mustRescan = m_mustRescan;
    clear();
    return batch;
}

void PendingFileChanges::clear()
{
    m_modified.clear();
    m_removed.clear();
    m_mustRescan = false;
}

} // namespace vessa
