#pragma once

#include "RaskoLocalFile/UniqueFd.h"

#include <QString>

#include <functional>
#include <unordered_map>

namespace vessa {

// One inotify descriptor and a watch on every folder of the trees added to
// it, with the path of each watched folder. Paths are built from the folder
// paths as given plus the names read from the disk, so they equal the paths
// a scan of the same folders produces. Used by one thread only.
class InotifyWatchTree {
public:
    struct Watch {
        QString path;
        bool musicFolder = false;
    };
    // rootUnwatched: `path` itself is missing, not a folder or not readable.
    enum class AddResult { done, outOfWatches, rootUnwatched };
    // Whether the top of a tree is one of the music folders or a folder that
    // appeared inside one.
    enum class TreeRoot { musicFolder, subfolder };
    using FileFound = std::function<void(const QString& path)>;

    // Opens a fresh descriptor (dropping any earlier one and all its watches).
    // Returns false, with errno set, when the kernel refuses one.
    bool open();
    // Closes the descriptor; every watch and every unread event goes with it.
    void close();
    bool isOpen() const { return m_fd.isValid(); }
    int fd() const { return m_fd.get(); }

    // Watches `path` and every folder below it; symbolic links below it are
    // not followed. Every non-folder entry found is passed to `fileFound` when
    // one is given. Folders below it that cannot be watched or read are
    // skipped; when the kernel has no watches left the walk ends with
    // outOfWatches.
    AddResult addTree(const QString& path, TreeRoot root, const FileFound& fileFound);
    // Removes the watches of `path` and of every folder below it.
    void dropTree(const QString& path);
    // Forgets a watch the kernel has already removed.
    void forget(int wd) { m_watches.erase(wd); }

    // The watch `wd` stands for; null once it was dropped. Valid until the
    // watches change.
    const Watch* find(int wd) const;

    // `directory` + "/" + `name`, without doubling a trailing slash.
    static QString childPath(const QString& directory, const QString& name);

private:
    UniqueFd m_fd;
    std::unordered_map<int, Watch> m_watches;
};

} // namespace vessa
