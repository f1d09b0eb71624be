#include "RaskoLocalFile/InotifyWatchTree.h"

#include "RaskoLocalFile/DirHandle.h"
#include "VessaCore/FileNameBytes.h"

#include <sys/inotify.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace vessa {

namespace {

constexpr std::uint32_t watchMask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO
                                    | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

bool isPathOrBelow(const QString& candidate, const QString& directory)
{
    if (!candidate.startsWith(directory))
        return false;
    return candidate.size() == directory.size() || directory.endsWith(u'/') || candidate.at(directory.size()) == u'/';
}

} // namespace

bool InotifyWatchTree::open()
{
    close();
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return false;
    m_fd.reset(fd);
    return true;
}

void InotifyWatchTree::close()
{
    m_fd.reset();
    m_watches.clear();
}

InotifyWatchTree::AddResult InotifyWatchTree::addTree(const QString& path, TreeRoot root, const FileFound& fileFound)
{
    if (!isOpen())
        return AddResult::done;
    struct Pending {
        QString path;
        QByteArray encoded;
    };
    std::vector<Pending> stack{{path, pathToBytes(path)}};
    bool top = true;
    while (!stack.empty()) {
        Pending directory = std::move(stack.back());
        stack.pop_back();
        // A music folder that is a link to a folder is followed; links below it are not.
        const std::uint32_t mask = top ? watchMask : watchMask | IN_DONT_FOLLOW;
        const int wd = ::inotify_add_watch(m_fd.get(), directory.encoded.constData(), mask);
        const bool isMusicFolder = root == TreeRoot::musicFolder && top;
        const bool isRoot = std::exchange(top, false);
        if (wd < 0) {
            if (errno == ENOSPC)
                return AddResult::outOfWatches;
            if (isRoot)
                return AddResult::rootUnwatched;
            continue; // gone again, not a folder, or not readable
        }
        // The kernel hands out the same watch for a folder reached twice
        // (nested music folders, bind mounts): walk it only once.
        if (!m_watches.try_emplace(wd, Watch{directory.path, isMusicFolder}).second)
            continue;

        // Listed only after the watch exists, so an entry made meanwhile is
        // either listed here or reported by an event.
        DirHandle dir(::opendir(directory.encoded.constData()));
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            const QByteArray name(entry->d_name);
            Pending child{childPath(directory.path, pathFromBytes(name)), directory.encoded};
            if (!child.encoded.endsWith('/'))
                child.encoded.append('/');
            child.encoded.append(name);
            if (isRealDirectory(child.encoded, entry->d_type))
                stack.push_back(std::move(child));
            else if (fileFound)
                fileFound(child.path);
        }
    }
    return AddResult::done;
}

void InotifyWatchTree::dropTree(const QString& path)
{
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (isPathOrBelow(it->second.path, path)) {
            ::inotify_rm_watch(m_fd.get(), it->first);
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
}

const InotifyWatchTree::Watch* InotifyWatchTree::find(int wd) const
{
    const auto it = m_watches.find(wd);
    return it == m_watches.end() ? nullptr : &it->second;
}

QString InotifyWatchTree::childPath(const QString& directory, const QString& name)
{
    if (directory.endsWith(u'/'))
        return directory + name;
    return directory + u'/' + name;
}

} // namespace vessa
