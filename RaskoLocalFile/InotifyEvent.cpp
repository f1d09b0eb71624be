#include "RaskoLocalFile/InotifyEvent.h"

#include <sys/inotify.h>

#include <cstring>

namespace vessa {

InotifyEvent::Kind InotifyEvent::classify(bool onMusicFolder) const
{
    if (mask & (IN_Q_OVERFLOW | IN_UNMOUNT))
        return Kind::mustRescan;
    if (mask & IN_IGNORED)
        return Kind::watchRemoved;
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        // A subfolder's deletion or move is reported by its parent's watch.
        return onMusicFolder ? Kind::watchedFolderGone : Kind::ignored;
    }
    if (mask & IN_ISDIR) {
        if (mask & (IN_CREATE | IN_MOVED_TO))
            return Kind::directoryAppeared;
        if (mask & IN_MOVED_FROM)
            return Kind::directoryMovedAway;
        // Reported by the watch of the folder above it (with its name).
        if ((mask & IN_ATTRIB) && !name.isEmpty())
            return Kind::directoryChanged;
        return Kind::ignored;
    }
    if (mask & (IN_DELETE | IN_MOVED_FROM))
        return Kind::fileRemoved;
    if (mask & (IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_TO))
        return Kind::fileModified;
    return Kind::ignored;
}

QList<InotifyEvent> InotifyEvent::parse(const char* data, std::size_t size)
{
    QList<InotifyEvent> events;
    std::size_t offset = 0;
    while (size - offset >= sizeof(inotify_event)) {
        inotify_event header;
        std::memcpy(&header, data + offset, sizeof header);
        const std::size_t nameOffset = offset + sizeof header;
        if (header.len > size - nameOffset)
            break;
        InotifyEvent event;
        event.wd = header.wd;
        event.mask = header.mask;
        event.cookie = header.cookie;
        const char* name = data + nameOffset;
        event.name = QByteArray(name, static_cast<qsizetype>(strnlen(name, header.len)));
        events.append(std::move(event));
        offset = nameOffset + header.len;
    }
    return events;
}

} // namespace vessa
