#include "RaskoLocalFile/MountTableWatch.h"

#include "RaskoLocalFile/MusicFolderEnumerator.h"

#include <fcntl.h>

namespace vessa {

MountTableWatch::MountTableWatch(Seams seams) : m_seams(std::move(seams))
{
}

void MountTableWatch::follow(const QStringList& roots)
{
    m_roots = roots;
    m_away.clear();
    m_mounted.clear();
    m_table.reset();
    if (roots.isEmpty())
        return;
    m_table.reset(::open(MountTable::path, O_RDONLY | O_CLOEXEC));
    if (const std::optional<QStringList> table = m_seams.readTable())
        m_mounted = MountTable::atOrBelow(*table, m_roots, m_seams.resolve);
}

QStringList MountTableWatch::changedFolders()
{
    const std::optional<QStringList> table = m_seams.readTable();
    if (!table)
        return {};
    const QStringList mounted = MountTable::atOrBelow(*table, m_roots, m_seams.resolve);
    // Counted, as a second mount on a folder hides the first.
    QStringList changed;
    for (const QString& folder : mounted + m_mounted) {
        if (!changed.contains(folder) && !m_away.contains(folder) && mounted.count(folder) != m_mounted.count(folder))
            changed.append(folder);
    }
    m_mounted = mounted;
    return changed;
}

void MountTableWatch::setAway(const QStringList& folders, const QStringList& missingMusicFolders)
{
    m_away.clear();
    for (const QString& folder : folders) {
        const QString path = MusicFolderEnumerator::withoutTrailingSlashes(folder);
        if (MountPoints::isAtOrBelow(path, m_roots) && !m_away.contains(path) && !missingMusicFolders.contains(path))
            m_away.append(path);
    }
}

bool MountTableWatch::back(const QString& folder)
{
    if (!m_away.contains(folder) || MountPoints::isAway(m_seams.examine(folder, m_seams.readTable())))
        return false;
    m_away.removeAll(folder);
    return true;
}

} // namespace vessa
