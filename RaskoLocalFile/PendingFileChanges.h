#pragma once

#include "RaskoLocalFile/DirectoryWatcher.h"

#include <QSet>
#include <QString>

namespace vessa {

// The changes recorded since the last batch. A path is in at most one of the
// two sets: the latest event for it decides.
class PendingFileChanges {
public:
    void recordModified(const QString& path);
    void recordRemoved(const QString& path);
    void recordMustRescan() { m_mustRescan = true; }

    // The recorded changes as a batch; afterwards nothing is recorded.
    DirectoryWatcher::EventBatch take();
    void clear();

private:
    QSet<QString> m_modified;
    QSet<QString> m_removed;
    bool m_mustRescan = false;
};

} // namespace vessa
