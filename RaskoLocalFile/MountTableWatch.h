#pragma once

#include "RaskoLocalFile/MountPoints.h"
#include "RaskoLocalFile/MountTable.h"
#include "RaskoLocalFile/UniqueFd.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vessa {

// What the directory watcher follows of the mount table: which folders at or
// below the music folders something was mounted on or unmounted from since it
// last looked, and which of the mount points that are away (see MountPoints)
// have something mounted on them again. The watcher watches those folders
// anew and asks for a full rescan; it polls tableFd() for the table's changes.
//
// The table and the disk are read through seams, so that the decisions can
// be followed from tables given as lists of mount points.
//
// Used by one thread only (the directory watcher's).
class MountTableWatch {
public:
    struct Seams {
        // The mount points of the table; nothing when it cannot be read.
        std::function<std::optional<QStringList>()> readTable = &MountTable::read;
        // What a folder is now, given the mount points of the table.
        std::function<MountPoints::FolderState(const QString& path, const std::optional<QStringList>& mountTable)>
            examine = &MountPoints::examine;
        // The path a folder leads to (links resolved).
        MountTable::Resolve resolve = &MountTable::canonicalPath;
    };

    MountTableWatch() : MountTableWatch(Seams{}) {}
    explicit MountTableWatch(Seams seams);
    MountTableWatch(const MountTableWatch&) = delete;
    MountTableWatch& operator=(const MountTableWatch&) = delete;

    // Follows the table for the mount points at or below `roots` (music
    // folders without trailing slashes) from now on, with none away; with no
    // roots, follows nothing. Called before the folders are walked, so that
    // a mount made meanwhile is a change of the table.
    void follow(const QStringList& roots);
    // The descriptor of the table to poll for POLLPRI; -1 while unused.
    int tableFd() const { return m_table.get(); }

    // Once the table changed: the folders something was mounted on or
    // unmounted from since the last look, in the table's order, each once.
    // A second mount on a folder, hiding the first, counts too. Those away
    // are left out: back() decides on them. Nothing when the table cannot
    // be read.
    QStringList changedFolders();

    // The mount points among `folders` that are at or below the roots, each
    // once and not one of `missingMusicFolders` (waited for as such), are
    // away from now on, instead of those away before.
    void setAway(const QStringList& folders, const QStringList& missingMusicFolders);
    const QStringList& away() const { return m_away; }
    // Whether the away mount point `folder` has something mounted on it
    // again; it is no longer away then.
    bool back(const QString& folder);

private:
    const Seams m_seams;
    QStringList m_roots;
    UniqueFd m_table;
    QStringList m_mounted; // the mount points at or below the roots, as last read
    QStringList m_away;
};

} // namespace vessa
