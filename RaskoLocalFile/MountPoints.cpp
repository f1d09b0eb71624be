#include "RaskoLocalFile/MountPoints.h"

#include "RaskoLocalFile/DirHandle.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "VessaCore/FileNameBytes.h"

#include <cstring>

namespace vessa::MountPoints {

FolderState examine(const QString& path)
{
    FolderState state;
    const QByteArray bytes = pathToBytes(path);
    struct stat folder;
    if (path.isEmpty() || ::stat(bytes.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
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
    return now.isFolder && now.onParentDevice && now.isEmpty;
}

QStringList away(const QStringList& lastMountPoints, const QStringList& folders, const Examine& examineFolder)
{
    QStringList away;
    for (const QString& mountPoint : lastMountPoints) {
        if (isAtOrBelow(mountPoint, folders) && isAway(examineFolder(mountPoint)))
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
