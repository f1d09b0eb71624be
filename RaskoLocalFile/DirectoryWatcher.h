#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <thread>

namespace vessa {

// Watches the music folders for file changes (inotify, one watch per folder,
// walked recursively) and hands them out debounced and merged, one EventBatch
// at a time: a batch goes out `debounceInterval` seconds after the last event
// and carries every change recorded since the previous batch, stop or watch.
// The latest event for a path decides whether it is reported as modified or
// as removed. A music folder that is missing, or goes (deleted, moved away,
// its drive unmounted), is waited for; once it is back it is watched again
// and a batch asks for a full rescan. So is a folder at or below the music
// folders that something is mounted on or unmounted from (the mount table
// is polled for its changes).
//
// Threads: the watcher has its own thread, which walks the folders, reads the
// events and calls `onChange` (with no lock held). watch(), stop() and the
// destructor may be called from any other thread; they block until the
// watcher thread has carried them out, so no batch recorded before them is
// delivered after they return. `onChange` should post its work elsewhere
// (the local-file source's receiver posts it to the main thread); should it
// call watch() or stop() itself, they run at once on the watcher thread.
// waitForMounts() may be called from any thread and never waits.
class DirectoryWatcher {
public:
    struct EventBatch {
        // Absolute paths of files created, changed or moved into place; each once.
        QList<QString> modified;
        // Absolute paths of files removed or moved away; each once.
        QList<QString> removed;
        // Events were lost or a folder changed as a whole: rescan all folders.
        bool mustRescan = false;
    };
    using Callback = std::function<void(const EventBatch&)>;

    // Watches nothing yet. `debounceInterval` is in seconds. Throws
    // ThreadStartError when the system refuses the watcher thread.
    DirectoryWatcher(double debounceInterval, Callback onChange);
    // Stops watching, drops pending events and joins the watcher thread.
    ~DirectoryWatcher();

    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Replaces whatever was watched before with the given folders (absolute
    // paths; reported paths start with them as given less trailing slashes,
    // as the scan's paths do). Events pending from earlier folders are
    // dropped. An empty list stops watching. `mountsAway` as for
    // waitForMounts().
    void watch(const QStringList& directories, const QStringList& mountsAway = {});
    // Folders at or below the watched ones that something was mounted on and
    // that are away now (see MountPoints): each is waited for until it is
    // mounted again; then its tree is watched anew and a batch asks for a
    // full rescan. Replaces the list given before; pending events stay. Returns
    // at once: the watcher thread takes it up after the calls before it.
    void waitForMounts(const QStringList& folders);
    // Ends watching and drops pending events.
    void stop();

private:
    class Worker;

    std::shared_ptr<Worker> m_worker;
    std::jthread m_thread;
};

} // namespace vessa
