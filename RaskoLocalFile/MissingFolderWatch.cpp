#include "RaskoLocalFile/MissingFolderWatch.h"

#include "VessaCore/FileNameBytes.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace vessa {

namespace {

// Entries made or moved in, a change of permissions, and the folder itself
// going (then the next one up is watched instead).
constexpr std::uint32_t aboveMask = IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The folder `path` lies in; empty above the root or for a relative path.
QString folderAbove(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0 || path == u"/")
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

void MissingFolderWatch::waitFor(const QStringList& folders)
{
    m_folders = folders;
    // A fresh descriptor drops every earlier watch and unread event.
    m_watches.reset();
    if (folders.isEmpty())
        return;
    m_watches.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_watches.isValid())
        return;
    for (const QString& folder : folders) {
        for (QString above = folderAbove(folder); !above.isEmpty(); above = folderAbove(above)) {
            if (::inotify_add_watch(m_watches.get(), pathToBytes(above).constData(), aboveMask) >= 0)
                break;
        }
    }
}

void MissingFolderWatch::drain()
{
    alignas(inotify_event) char buffer[4096];
    while (m_watches.isValid()) {
        const ssize_t size = ::read(m_watches.get(), buffer, sizeof buffer);
        if (size > 0 || (size < 0 && errno == EINTR))
            continue;
        return;
    }
}

} // namespace vessa
