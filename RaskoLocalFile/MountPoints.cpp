#include "RaskoLocalFile/MountPoints.h"

#include "RaskoLocalFile/DirHandle.h"
#include "RaskoLocalFile/MountTable.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "VessaCore/FileNameBytes.h"

#include <cerrno>
#include <cstring>

namespace vessa::MountPoints {

FolderState examine(const QString& path, const std::optional<QStringList>& mountTable)
{
    FolderState state;
    const QByteArray bytes = pathToBytes(path);
    struct stat folder;
    if (path.isEmpty())
        return state;
    if (::stat(bytes.constData(), &folder) != 0) {
        // A folder that cannot be looked at for want of rights is not gone.
        state.isGone = errno == ENOENT || errno == ENOTDIR;
        return state;
    }
    state.isListed = mountTable && mountTable->contains(MountTable::canonicalPath(path));
    if (!S_ISDIR(folder.st_mode))
        return state;
    state.isFolder = true;
    struct stat above;
    const QByteArray parent = bytes + "/..";
    state.onParentDevice = ::stat(parent.constData(), &above) == 0 && above.st_dev == folder.st_dev;
    // A folder that cannot be read is not known to be empty.
    const DirHandle dir(::opendir(bytes.constData()));
    if (!dir)
        return state;
    state.isEmpty = true;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            state.isEmpty = false;
            break;
        }
    }
    return state;
}

bool isAway(const FolderState& now)
{
    if (now.isListed)
        return false;
    return now.isGone || (now.isFolder && now.onParentDevice && now.isEmpty);
}

QStringList away(const QStringList& lastMountPoints, const QStringList& folders, const Examine& examineFolder)
{
    QStringList away;
    std::optional<std::optional<QStringList>> mountTable; // read once, when needed
    for (const QString& mountPoint : lastMountPoints) {
        if (!isAtOrBelow(mountPoint, folders))
            continue;
        if (!examineFolder && !mountTable)
            mountTable = MountTable::read();
        if (isAway(examineFolder ? examineFolder(mountPoint) : examine(mountPoint, *mountTable)))
            away.append(mountPoint);
    }
    return away;
}

QStringList remembered(const QStringList& found, const QStringList& lastMountPoints, const QStringList& keptFolders)
{
    QStringList mountPoints = found;
    for (const QString& mountPoint : lastMountPoints) {
        if (!mountPoints.contains(mountPoint) && isAtOrBelow(mountPoint, keptFolders))
            mountPoints.append(mountPoint);
    }
    return mountPoints;
}

bool isAtOrBelow(const QString& path, const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (MusicFolderEnumerator::withoutTrailingSlashes(folder) == path)
            return true;
    }
    return MusicFolderEnumerator::liesUnder(path, folders);
}

} // namespace vessa::MountPoints
