#include "RaskoLocalFile/DirectoryWatcher.h"

#include "RaskoLocalFile/InotifyEvent.h"
#include "RaskoLocalFile/InotifyWatchTree.h"
#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/MissingFolderWatch.h"
#include "RaskoLocalFile/MountTableWatch.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoLocalFile/PendingFileChanges.h"
#include "RaskoLocalFile/UniqueFd.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/Logging.h"
#include "VessaCore/ThreadStart.h"

#include <QDir>
#include <QFileInfo>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace vessa {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Without a wake-up descriptor the thread looks for requests this often.
constexpr int fallbackPollMilliseconds = 20;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The last component of a folder path, as the "Watching" line names it.
QString folderName(const QString& path)
{
    const QString cleaned = QDir::cleanPath(path);
    return cleaned == QStringLiteral("/") ? cleaned : QFileInfo(cleaned).fileName();
}

} // namespace

// Everything the watcher thread works with. Requests arrive through a small
// mailbox (guarded by m_mutex); the folders, the watches and the pending
// changes belong to the watcher thread alone and need no lock.
class DirectoryWatcher::Worker {
public:
    Worker(double debounceInterval, Callback onChange)
        : m_interval(std::chrono::duration_cast<SteadyClock::duration>(
            std::chrono::duration<double>(std::max(0.0, debounceInterval)))),
          m_callback(std::move(onChange)),
          m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (!m_wakeFd.isValid())
            logError(lcLocalFileWatcher(),
                     QStringLiteral("Failed to create wake-up descriptor: %1").arg(errnoText(errno)));
    }

    // What watch() and waitForMounts() ask of the watcher thread.
    struct Request {
        enum class Kind { watch, waitForMounts };
        Kind kind = Kind::watch;
        QStringList directories;
        QStringList mountsAway;
    };

    // Any thread but the watcher's: hands the request to the watcher thread
    // and waits until it has applied it.
    void request(Request request)
    {
        const std::uint64_t serial = post(std::move(request));
        std::unique_lock lock(m_mutex);
        m_applied.wait(lock, [&] { return m_appliedSerial >= serial; });
    }

    // Any thread but the watcher's: hands the request to the watcher thread,
    // which applies it after those handed before; returns its serial.
    std::uint64_t post(Request request)
    {
        std::uint64_t serial = 0;
        {
            std::lock_guard lock(m_mutex);
            serial = m_nextSerial++;
            m_requests.emplace_back(serial, std::move(request));
        }
        wake();
        return serial;
    }

    void wake()
    {
        if (m_wakeFd.isValid()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(m_wakeFd.get(), &one, sizeof one);
        }
    }

    // Watcher thread: carries out one request.
    void apply(const Request& request)
    {
        if (request.kind == Request::Kind::watch)
            apply(request.directories);
        waitForMounts(request.mountsAway);
    }

    // Watcher thread: stops watching whatever was watched, drops pending
    // events, and watches `directories` (none: stays idle).
    void apply(const QStringList& directories)
    {
        m_deadline.reset();
        m_pending.clear();
        m_missing.waitFor({});
        m_roots.clear();
        m_mounts.follow({});
        if (m_tree.isOpen()) {
            m_tree.close();
            logDebug(lcLocalFileWatcher(), QStringLiteral("Stopped watching directories"));
        }
        if (directories.isEmpty())
            return;
        if (!m_tree.open()) {
            logError(lcLocalFileWatcher(),
                     QStringLiteral("Failed to create inotify instance: %1").arg(errnoText(errno)));
            return;
        }
        m_outOfWatchesLogged = false;
        // Trailing slashes dropped as the scan drops them, so that reported
        // paths equal the indexed ones.
        for (const QString& directory : directories)
            m_roots.append(MusicFolderEnumerator::withoutTrailingSlashes(directory));
        // Before the folders are walked, so that a mount made meanwhile is
        // reported as a change of the table.
        m_mounts.follow(m_roots);
        QStringList names;
        QStringList missing;
        for (qsizetype i = 0; i < directories.size(); ++i) {
            const QString& directory = directories.at(i);
            const QString& root = m_roots.at(i);
            const InotifyWatchTree::AddResult added = m_tree.addTree(root, InotifyWatchTree::TreeRoot::musicFolder, {});
            if (added == InotifyWatchTree::AddResult::outOfWatches)
                noteOutOfWatches();
            else if (added == InotifyWatchTree::AddResult::rootUnwatched)
                missing.append(root);
            names.append(folderName(directory));
        }
        logInfo(lcLocalFileWatcher(), QStringLiteral("Watching %1 directories: %2")
                                          .arg(directories.size())
                                          .arg(names.join(QStringLiteral(", "))));
        waitForMissing(missing);
    }

    void run(std::stop_token stop)
    {
        std::stop_callback wakeOnStop(stop, [this] { wake(); });
        while (!stop.stop_requested()) {
            pollfd fds[4] = {{m_wakeFd.get(), POLLIN, 0},
                             {m_tree.fd(), POLLIN, 0},
                             {m_missing.watchFd(), POLLIN, 0},
                             {m_mounts.tableFd(), POLLPRI, 0}};
            ::poll(fds, 4, pollTimeout());
            if (stop.stop_requested())
                break;
            if (fds[0].revents & POLLIN)
                drainWake();
            applyRequests();
            if (fds[1].revents & POLLIN)
                readEvents();
            if (fds[2].revents & POLLIN)
                m_missing.drain();
            const bool mountsChanged = fds[3].revents & (POLLPRI | POLLERR);
            if (mountsChanged)
                watchMountsAnew();
            if ((fds[2].revents & POLLIN) || mountsChanged)
                lookForMissingFolders();
            deliverIfDue();
        }
    }

private:
    int pollTimeout() const
    {
        int timeout = -1;
        if (m_deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*m_deadline - SteadyClock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
        }
        if (!m_wakeFd.isValid())
            timeout = timeout < 0 ? fallbackPollMilliseconds : std::min(timeout, fallbackPollMilliseconds);
        return timeout;
    }

    void drainWake()
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wakeFd.get(), &count, sizeof count);
    }

    void applyRequests()
    {
        std::deque<std::pair<std::uint64_t, Request>> requests;
        {
            std::lock_guard lock(m_mutex);
            requests.swap(m_requests);
        }
        if (requests.empty())
            return;
        for (const auto& [serial, request] : requests)
            apply(request);
        {
            std::lock_guard lock(m_mutex);
            m_appliedSerial = requests.back().first;
        }
        m_applied.notify_all();
    }

    void readEvents()
    {
        for (;;) {
            const ssize_t size = ::read(m_tree.fd(), m_buffer, sizeof m_buffer);
            if (size < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN) {
                    // Whatever was queued is lost to us.
                    logError(lcLocalFileWatcher(),
                             QStringLiteral("inotify: could not read events: %1").arg(errnoText(errno)));
                    m_pending.recordMustRescan();
                    rearm();
                }
                return;
            }
            if (size == 0)
                return;
            const QList<InotifyEvent> events = InotifyEvent::parse(m_buffer, static_cast<std::size_t>(size));
            logDebug(lcLocalFileWatcher(), QStringLiteral("inotify: %1 event(s) received").arg(events.size()));
            for (const InotifyEvent& event : events)
                handle(event);
            rearm();
        }
    }

    void handle(const InotifyEvent& event)
    {
        const InotifyWatchTree::Watch* watch = m_tree.find(event.wd);
        const InotifyEvent::Kind kind = event.classify(watch && watch->musicFolder);
        if (kind == InotifyEvent::Kind::mustRescan) {
            m_pending.recordMustRescan();
            return;
        }
        if (!watch)
            return; // a watch dropped already; its last events mean nothing now
        const QString directory = watch->path;
        const QString path =
            event.name.isEmpty() ? directory : InotifyWatchTree::childPath(directory, pathFromBytes(event.name));
        switch (kind) {
        case InotifyEvent::Kind::fileModified: m_pending.recordModified(path); break;
        case InotifyEvent::Kind::fileRemoved: m_pending.recordRemoved(path); break;
        case InotifyEvent::Kind::directoryAppeared:
            if (m_tree.addTree(path, InotifyWatchTree::TreeRoot::subfolder, reportFile())
                == InotifyWatchTree::AddResult::outOfWatches)
                noteOutOfWatches();
            break;
        case InotifyEvent::Kind::directoryChanged:
            // A folder closed to this user is not watched; one that can be
            // read again is watched anew and its files are reported, so that
            // the library reads what it could not.
            if (MusicFolderEnumerator::cannotBeListed(path))
                m_tree.dropTree(path);
            else if (m_tree.addTree(path, InotifyWatchTree::TreeRoot::subfolder, reportFile())
                     == InotifyWatchTree::AddResult::outOfWatches)
                noteOutOfWatches();
            break;
        case InotifyEvent::Kind::directoryMovedAway:
            // Its watches would report under the old path; the rows of the
            // files that were in it can only be found by a rescan.
            m_tree.dropTree(path);
            m_pending.recordMustRescan();
            break;
        case InotifyEvent::Kind::watchedFolderGone:
            m_tree.dropTree(directory);
            m_pending.recordMustRescan();
            waitForMissing(m_missing.folders() + QStringList{directory});
            break;
        case InotifyEvent::Kind::watchRemoved: {
            // A music folder whose watch the kernel removed (its drive was
            // unmounted) is watched again once it is there.
            const bool musicFolder = watch->musicFolder;
            m_tree.forget(event.wd);
            if (musicFolder)
                waitForMissing(m_missing.folders() + QStringList{directory});
            break;
        }
        case InotifyEvent::Kind::mustRescan:
        case InotifyEvent::Kind::ignored: break;
        }
    }

    // Waits for the music folders to be back, then looks once, so that one
    // back already is not missed.
    void waitForMissing(const QStringList& folders)
    {
        m_missing.waitFor(folders);
        lookForMissingFolders();
    }

    // Waits for these mount points (at or below the watched folders) instead
    // of those given before; missing music folders are still waited for.
    void waitForMounts(const QStringList& folders)
    {
        if (!m_tree.isOpen())
            return;
        QStringList waiting = m_missing.folders();
        waiting.removeIf([this](const QString& folder) { return m_mounts.away().contains(folder); });
        m_mounts.setAway(folders, waiting);
        waitForMissing(waiting + m_mounts.away());
    }

    // After a change of the mount table: the folders at or below the music
    // folders that something was mounted on or unmounted from are watched
    // anew, and all folders are to be scanned again. Those away are left to
    // lookForMissingFolders().
    void watchMountsAnew()
    {
        for (const QString& folder : m_mounts.changedFolders()) {
            watchTreeAnew(folder);
            logInfo(lcLocalFileWatcher(), QStringLiteral("Folder mounted or unmounted: %1").arg(folder));
        }
    }

    // The watches of a folder that something was mounted on or unmounted from
    // report nothing of what is there now: the folder and all below it are
    // watched anew, and all folders are to be scanned again.
    void watchTreeAnew(const QString& folder)
    {
        m_tree.dropTree(folder);
        const bool musicFolder = m_roots.contains(folder);
        const InotifyWatchTree::AddResult added = m_tree.addTree(
            folder, musicFolder ? InotifyWatchTree::TreeRoot::musicFolder : InotifyWatchTree::TreeRoot::subfolder,
            {}); // the rescan reads them all
        if (added == InotifyWatchTree::AddResult::outOfWatches)
            noteOutOfWatches();
        else if (added == InotifyWatchTree::AddResult::rootUnwatched && musicFolder
                 && !m_missing.folders().contains(folder))
            m_missing.waitFor(m_missing.folders() + QStringList{folder}); // gone with what was mounted on it
        m_pending.recordMustRescan();
        rearm();
    }

    // A missing music folder that is back is watched again, its files are
    // reported, and all folders are to be scanned again (its files may have
    // changed while it was away).
    void lookForMissingFolders()
    {
        QStringList stillMissing;
        for (const QString& root : m_missing.folders()) {
            if (m_mounts.away().contains(root)) {
                // Back once something is mounted on it again: its tree is
                // watched anew and all folders are to be scanned again.
                if (m_mounts.back(root)) {
                    watchTreeAnew(root);
                    logInfo(lcLocalFileWatcher(), QStringLiteral("Folder is mounted again: %1").arg(root));
                } else {
                    stillMissing.append(root);
                }
                continue;
            }
            const InotifyWatchTree::AddResult added =
                m_tree.addTree(root, InotifyWatchTree::TreeRoot::musicFolder, reportFile());
            if (added == InotifyWatchTree::AddResult::rootUnwatched) {
                stillMissing.append(root);
                continue;
            }
            if (added == InotifyWatchTree::AddResult::outOfWatches)
                noteOutOfWatches();
            logInfo(lcLocalFileWatcher(), QStringLiteral("Music folder is back: %1").arg(root));
            m_pending.recordMustRescan();
            rearm();
        }
        if (stillMissing.size() != m_missing.folders().size())
            m_missing.waitFor(stillMissing);
    }

    // Records each file a walk of a folder that appeared finds.
    InotifyWatchTree::FileFound reportFile()
    {
        return [this](const QString& file) { m_pending.recordModified(file); };
    }

    void noteOutOfWatches()
    {
        if (!m_outOfWatchesLogged) {
            logError(lcLocalFileWatcher(),
                     QStringLiteral(
                         "Out of inotify watches; some folders are not watched (see fs.inotify.max_user_watches)"));
            m_outOfWatchesLogged = true;
        }
        m_pending.recordMustRescan();
        rearm();
    }

    void rearm() { m_deadline = SteadyClock::now() + m_interval; }

    void deliverIfDue()
    {
        if (!m_deadline || SteadyClock::now() < *m_deadline)
            return;
        m_deadline.reset();
        const EventBatch batch = m_pending.take();
        if (batch.mustRescan || !batch.modified.isEmpty() || !batch.removed.isEmpty())
            m_callback(batch);
    }

    const SteadyClock::duration m_interval;
    const Callback m_callback;
    UniqueFd m_wakeFd;

    std::mutex m_mutex;
    std::condition_variable m_applied;
    std::deque<std::pair<std::uint64_t, Request>> m_requests; // guarded by m_mutex
    std::uint64_t m_nextSerial = 1;                           // guarded by m_mutex
    std::uint64_t m_appliedSerial = 0;                        // guarded by m_mutex

    // Watcher thread only.
    InotifyWatchTree m_tree;
    QStringList m_roots; // the music folders watched, without trailing slashes
    MissingFolderWatch m_missing;
    // The mount points among m_missing's folders are m_mounts.away(); the
    // rest are music folders.
    MountTableWatch m_mounts;
    PendingFileChanges m_pending;
    std::optional<SteadyClock::time_point> m_deadline;
    bool m_outOfWatchesLogged = false;
    alignas(inotify_event) char m_buffer[64 * 1024];
};

DirectoryWatcher::DirectoryWatcher(double debounceInterval, Callback onChange)
    : m_worker(std::make_shared<Worker>(debounceInterval, std::move(onChange))),
      m_thread(startThread([worker = m_worker](std::stop_token stop) { worker->run(std::move(stop)); }))
{
}

DirectoryWatcher::~DirectoryWatcher()
{
    if (std::this_thread::get_id() == m_thread.get_id()) {
        // Released from inside onChange: the thread cannot join itself. It
        // ends after the callback returns and keeps its own share of the worker.
        m_worker->apply(QStringList());
        m_thread.request_stop();
        m_thread.detach();
        return;
    }
    stop();
    // The jthread's destructor requests the stop, which wakes the thread, and joins.
}

void DirectoryWatcher::watch(const QStringList& directories, const QStringList& mountsAway)
{
    const Worker::Request request{Worker::Request::Kind::watch, directories, mountsAway};
    if (std::this_thread::get_id() == m_thread.get_id())
        m_worker->apply(request);
    else
        m_worker->request(request);
}

void DirectoryWatcher::waitForMounts(const QStringList& folders)
{
    const Worker::Request request{Worker::Request::Kind::waitForMounts, {}, folders};
    if (std::this_thread::get_id() == m_thread.get_id())
        m_worker->apply(request);
    else
        m_worker->post(request); // no walk of a tree waits on this
}

void DirectoryWatcher::stop()
{
    watch({});
}

} // namespace vessa
