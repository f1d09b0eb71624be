#pragma once

// Used only inside this module's .cpp files: it includes the system's
// directory-reading header.

#include <QByteArray>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

namespace vessa {

// Owns one open directory stream and closes it when dropped.
struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Whether the directory entry at `path`, of the dirent type `type`, is a real
// folder and not a link to one. A file system that gives no type
// (DT_UNKNOWN) is asked with lstat().
inline bool isRealDirectory(const QByteArray& path, unsigned char type)
{
    if (type != DT_UNKNOWN)
        return type == DT_DIR;
    struct stat status;
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The same for the entry `name` of the open folder `folderFd`.
inline bool isRealDirectoryAt(int folderFd, const QByteArray& name, unsigned char type)
{
    if (type != DT_UNKNOWN)
        return type == DT_DIR;
    struct stat status;
    return ::fstatat(folderFd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

} // namespace vessa
