#include "RaskoLocalFile/MediaDatabaseWatch.h"

#include "RaskoLocalFile/InotifyEvent.h"
#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "VessaCore/Logging.h"
#include "VessaCore/WorkerThreads.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/inotify.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace vessa {

namespace {

// What can put another file in the database's place, or other contents in
// it: a file moved or linked there, made there anew, written and closed
// (copied over), or the entry removed; and the folder itself moved or
// removed. Writes that stay open are seen when they are closed; the
// program's own writes never close the file.
constexpr quint32 folderMask =
    IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

// The looks handed to the worker threads, shared with them: at most one is
// queued or runs at a time, and an event meanwhile asks for one more.
struct MediaDatabaseWatch::Looks {
    std::mutex mutex;
    std::condition_variable lookEnded;
    std::shared_ptr<MediaDatabase> database; // null once the watch is gone
    bool queued = false;
    bool again = false;
    bool looking = false;

    static void run(const std::shared_ptr<Looks>& looks)
    {
        std::unique_lock lock(looks->mutex);
        while (std::shared_ptr<MediaDatabase> database = looks->database) {
            looks->again = false;
            looks->looking = true;
            lock.unlock();
            try {
                database->noticeReplacement();
            } catch (...) {
                // Only memory can run out here; the next call looks again.
            }
            database.reset();
            lock.lock();
            looks->looking = false;
            looks->lookEnded.notify_all();
            if (!looks->again)
                break;
        }
        looks->queued = false;
    }
};

MediaDatabaseWatch::MediaDatabaseWatch(std::shared_ptr<MediaDatabase> database, QObject* parent)
    : QObject(parent), m_looks(std::make_shared<Looks>())
{
    if (!database || !database->filePath())
        return;
    const QFileInfo file(*database->filePath());
    m_folder = file.absolutePath();
    m_fileName = QFile::encodeName(file.fileName());
    m_looks->database = std::move(database);
    m_inotify = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_inotify.isValid()) {
        logWarning(lcLocalFileWatcher(), QStringLiteral("Cannot watch the media database's folder %1: %2")
                                             .arg(m_folder, QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    watchFolder();
    m_notifier = new QSocketNotifier(m_inotify.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &MediaDatabaseWatch::readEvents);
}

MediaDatabaseWatch::~MediaDatabaseWatch()
{
    // The notifier goes before the descriptor it watches is closed.
    delete m_notifier;
    // A look that is queued and not yet running finds no database.
    std::unique_lock lock(m_looks->mutex);
    m_looks->database.reset();
    m_looks->lookEnded.wait(lock, [this] { return !m_looks->looking; });
}

void MediaDatabaseWatch::watchFolder()
{
    m_watch = ::inotify_add_watch(m_inotify.get(), QFile::encodeName(m_folder).constData(), folderMask);
    if (m_watch < 0) {
        logWarning(lcLocalFileWatcher(), QStringLiteral("Cannot watch the media database's folder %1: %2")
                                             .arg(m_folder, QString::fromLocal8Bit(std::strerror(errno))));
    }
}

void MediaDatabaseWatch::readEvents()
{
    alignas(inotify_event) char buffer[16 * 1024];
    bool look = false;
    bool folderGone = false;
    for (;;) {
        const ssize_t size = ::read(m_inotify.get(), buffer, sizeof buffer);
        if (size < 0 && errno == EINTR)
            continue;
        if (size <= 0)
            break; // EAGAIN: all read
        for (const InotifyEvent& event : InotifyEvent::parse(buffer, static_cast<std::size_t>(size))) {
            if (event.mask & IN_Q_OVERFLOW) {
                look = true;
            } else if (event.wd == m_watch && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))) {
                look = true;
                folderGone = true;
            } else if (event.wd == m_watch && event.name == m_fileName) {
                look = true;
            }
        }
    }
    if (folderGone) {
        // The watch follows the folder it was made on; the database's path
        // names whatever folder is there now.
        if (m_watch >= 0)
            ::inotify_rm_watch(m_inotify.get(), m_watch);
        watchFolder();
    }
    if (look)
        requestLook();
}

void MediaDatabaseWatch::requestLook()
{
    {
        const std::lock_guard lock(m_looks->mutex);
        m_looks->again = true;
        if (m_looks->queued)
            return;
        m_looks->queued = true;
    }
    WorkerThreads::start([looks = m_looks] { Looks::run(looks); });
}

} // namespace vessa
