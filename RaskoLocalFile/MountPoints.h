#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vessa {

// Folders at or below the music folders that something was mounted on (a
// drive, a network share) at the last scan. When such a folder is an empty
// folder on the device of the folder above it now, what was mounted there is
// away, not emptied: its tracks are kept, as those of a missing music
// folder, until it is mounted again. A folder that was never a mount point
// and is emptied has simply lost its files.
//
// Stateless; any thread.
namespace MountPoints {

// What a folder is now, as far as mounting goes.
struct FolderState {
    bool isFolder = false;       // something is there, and it is a folder (links followed)
    bool onParentDevice = false; // it lies on the device of the folder above it: nothing is mounted on it
    bool isEmpty = false;        // it holds no entry at all

    friend bool operator==(const FolderState&, const FolderState&) = default;
};
using Examine = std::function<FolderState(const QString& path)>;

// Looks at the folder at `path` on the disk.
FolderState examine(const QString& path);

// Whether a folder that was a mount point at the last scan, and is in the
// state `now`, has its file system away.
bool isAway(const FolderState& now);

// The mount points of the last scan (`lastMountPoints`) that are one of
// `folders` or lie below one, and are away now, in the order stored.
QStringList away(const QStringList& lastMountPoints, const QStringList& folders,
                 const Examine& examineFolder = &examine);

// The mount points to remember after a scan: those the scan `found`, and
// those of the last scan at or below `keptFolders` (folders that were not
// read because they are missing or away).
QStringList remembered(const QStringList& found, const QStringList& lastMountPoints, const QStringList& keptFolders);

// Whether `path` is one of `folders` or lies below one.
bool isAtOrBelow(const QString& path, const QStringList& folders);

} // namespace MountPoints

} // namespace vessa
