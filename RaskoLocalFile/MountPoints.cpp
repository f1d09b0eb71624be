#include "RaskoLocalFile/MountPoints.h"

#include "RaskoLocalFile/MountTable.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "VessaCore/FileNameBytes.h"

#include <sys/stat.h>

#include <cerrno>

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
    return state;
}

bool isAway(const FolderState& now)
{
    if (now.isListed)
        return false;
    // What the folder holds does not count: files of its own, hidden by the
    // mount or put there since, do not make the mount's tracks deleted.
    return now.isGone || (now.isFolder && now.onParentDevice);
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
