#pragma once

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

namespace vessa {

// One record read from an inotify descriptor, and what the directory watcher
// makes of it.
struct InotifyEvent {
    // What an event means for the watched folders.
    enum class Kind {
        ignored,            // nothing to record (a music folder's attributes, a subfolder's own events ...)
        fileModified,       // a file appeared or changed
        fileRemoved,        // a file went away
        directoryAppeared,  // a folder was created or moved in: watch it, report its files
        directoryMovedAway, // a folder was moved: drop its watches and rescan
        directoryChanged,   // a subfolder's permissions (or other attributes) changed: watch it anew if need be
        watchedFolderGone,  // a music folder itself was deleted or moved: drop its watches and rescan
        mustRescan,         // events were lost, or a file system was unmounted
        watchRemoved,       // the kernel dropped the watch; forget it
    };

    int wd = -1;
    std::uint32_t mask = 0;
    std::uint32_t cookie = 0;
    // The entry's name inside the watched folder, as the file system holds it
    // (no trailing NULs); empty for events about the watched folder itself.
    QByteArray name;

    // `onMusicFolder`: the event came from the watch of a music folder itself,
    // not of a folder below it.
    Kind classify(bool onMusicFolder) const;

    // Splits bytes read from an inotify descriptor into records. A record
    // that does not fit in the remaining bytes ends the list.
    static QList<InotifyEvent> parse(const char* data, std::size_t size);
};

} // namespace vessa
