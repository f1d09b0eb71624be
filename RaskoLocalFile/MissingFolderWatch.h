#pragma once

#include "RaskoLocalFile/UniqueFd.h"

#include <QStringList>

namespace vessa {

// Notices when music folders that are missing (an unmounted drive, a folder
// renamed away or deleted) may be back: an inotify watch on the nearest
// existing folder above each reports what is made, moved in or changed
// there. That only means "look again"; the caller then tries its folders
// (as it does after each change of the mount table, which it polls itself)
// and waits for those still missing.
//
// Used by one thread only (the directory watcher's).
class MissingFolderWatch {
public:
    MissingFolderWatch() = default;
    MissingFolderWatch(const MissingFolderWatch&) = delete;
    MissingFolderWatch& operator=(const MissingFolderWatch&) = delete;

    // Waits for exactly these folders (absolute paths without trailing
    // slashes) from now on; with none, the descriptor is closed.
    void waitFor(const QStringList& folders);
    const QStringList& folders() const { return m_folders; }

    // The descriptor to poll for POLLIN, -1 while unused.
    int watchFd() const { return m_watches.get(); }
    // Reads away the watches' events (once watchFd() is readable).
    void drain();

private:
    QStringList m_folders;
    UniqueFd m_watches;
};

} // namespace vessa
