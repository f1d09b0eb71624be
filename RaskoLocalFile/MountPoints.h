#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vessa {

// Folders at or below the music folders that something was mounted on (a
// drive, a network share, a folder bound from elsewhere) at the last scan.
// When nothing is mounted on such a folder now (the mount table does not
// list it and it lies on the device of the folder above it), or it is gone
// altogether (removed at unmount, as desktop auto-mounters do), what was
// mounted there is away, not emptied: the tracks under it whose files are
// missing are kept, greyed, until it is mounted again, whatever the folder
// holds of its own (files the mount hid, or that were put there since); those
// files are listed as usual. A folder that was never a mount point and is
// emptied has simply lost its files.
//
// Stateless; any thread.
namespace MountPoints {

// What a folder is now, as far as mounting goes.
struct FolderState {
    bool isFolder = false;       // something is there, and it is a folder (links followed)
    bool onParentDevice = false; // it lies on the device of the folder above it
    bool isGone = false;         // nothing is there, nor maybe at the folders above
    bool isListed = false;       // the mount table lists it: something is mounted on it

    friend bool operator==(const FolderState&, const FolderState&) = default;
};
using Examine = std::function<FolderState(const QString& path)>;

// Looks at the folder at `path` on the disk and in `mountTable` (the mount
// points, see MountTable; nothing when it could not be read).
FolderState examine(const QString& path, const std::optional<QStringList>& mountTable);

// Whether a folder that was a mount point at the last scan, and is in the
// state `now`, has its file system away.
bool isAway(const FolderState& now);

// The mount points of the last scan (`lastMountPoints`) that are one of
// `folders` or lie below one, and are away now, in the order stored.
// Without `examineFolder`, each is examined on the disk and in the mount
// table as it is now.
QStringList away(const QStringList& lastMountPoints, const QStringList& folders, const Examine& examineFolder = {});

// The mount points to remember after a scan: those the scan `found`, and
// those of the last scan at or below `keptFolders` (folders that were not
// read because they are missing or away).
QStringList remembered(const QStringList& found, const QStringList& lastMountPoints, const QStringList& keptFolders);

// Whether `path` is one of `folders` or lies below one.
bool isAtOrBelow(const QString& path, const QStringList& folders);

} // namespace MountPoints

} // namespace vessa
