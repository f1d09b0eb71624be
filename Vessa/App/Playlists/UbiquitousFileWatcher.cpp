#include "Vessa/App/Playlists/UbiquitousFileWatcher.h"

#include "RaskoLocalFile/InotifyEvent.h"
#include "Vessa/App/AppLogging.h"
#include "VessaCore/PathExtension.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vessa {

namespace {

// The folder itself: complete files arriving, leaving, or linked in, and the
// folder's own end. Never IN_MODIFY: a file being written is not complete.
// IN_OPEN only tells a file created to be written from one linked in.
constexpr std::uint32_t folderMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE | IN_OPEN
                                     | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// A parent of the missing folder: the next folder on the way appearing, and
// the parent's own end.
constexpr std::uint32_t parentMask = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The watched folder went away, or the kernel dropped its watch.
constexpr std::uint32_t watchEndMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

// Folders that keep appearing while the watch is set up are looked at again
// this many times before the next event loop turn tries once more.
constexpr int armAttempts = 16;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isDirectory(const QByteArray& path)
{
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

UbiquitousFileWatcher::UbiquitousFileWatcher(QString fileExtension, QString folder, QObject* parent)
    : QObject(parent), m_fileExtension(std::move(fileExtension)), m_folder(std::move(folder))
{
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(defaultDebounceMilliseconds);
    connect(&m_debounce, &QTimer::timeout, this, &UbiquitousFileWatcher::deliverChange);
}

UbiquitousFileWatcher::~UbiquitousFileWatcher()
{
    stop();
}

void UbiquitousFileWatcher::start(ChangeHandler onChange)
{
    stop();
    m_onChange = std::move(onChange);
    m_inotify = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_inotify.isValid() || !arm()) {
        const int error = errno;
        closeWatch();
        logError(lcCloudFolderWatcher(),
                 QStringLiteral("Failed to start inotify watch for *.%1: %2").arg(m_fileExtension, errnoText(error)));
        return;
    }
    m_notifier = new QSocketNotifier(m_inotify.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UbiquitousFileWatcher::readEvents);
    logInfo(lcCloudFolderWatcher(),
            QStringLiteral("Started watching the cloud folder for *.%1 files").arg(m_fileExtension));
    noteChange();
}

void UbiquitousFileWatcher::stop()
{
    closeWatch();
    m_onChange = nullptr;
}

void UbiquitousFileWatcher::closeWatch()
{
    m_debounce.stop();
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_inotify.reset(); // drops every watch with it
    m_folderWatch = -1;
    m_parentWatch = -1;
    m_awaitedName.clear();
}

void UbiquitousFileWatcher::removeWatches()
{
    // The kernel may have dropped them already; the IN_IGNORED events that
    // follow carry descriptors no longer ours and are skipped.
    if (m_folderWatch >= 0)
        ::inotify_rm_watch(m_inotify.get(), m_folderWatch);
    if (m_parentWatch >= 0)
        ::inotify_rm_watch(m_inotify.get(), m_parentWatch);
    m_folderWatch = -1;
    m_parentWatch = -1;
    m_awaitedName.clear();
}

bool UbiquitousFileWatcher::arm()
{
    for (int attempt = 0; attempt < armAttempts; ++attempt) {
        removeWatches();
        switch (armOnce()) {
        case ArmResult::armed: return true;
        case ArmResult::failed: return false;
        case ArmResult::raced: break;
        }
    }
    QMetaObject::invokeMethod(this, &UbiquitousFileWatcher::rearm, Qt::QueuedConnection);
    return true;
}

// Watches the folder, or else its nearest existing parent. `raced`: the
// awaited entry appeared before the parent's watch was in place.
UbiquitousFileWatcher::ArmResult UbiquitousFileWatcher::armOnce()
{
    const QByteArray folder = QFile::encodeName(QDir::cleanPath(m_folder));
    const int watch = ::inotify_add_watch(m_inotify.get(), folder.constData(), folderMask);
    if (watch >= 0) {
        m_folderWatch = watch;
        return ArmResult::armed;
    }
    QByteArray child = folder;
    while (errno == ENOENT || errno == ENOTDIR) {
        const qsizetype slash = child.lastIndexOf('/');
        if (slash < 0 || child == "/")
            break;
        const QByteArray parent = slash == 0 ? QByteArray("/") : child.left(slash);
        const int parentWatch = ::inotify_add_watch(m_inotify.get(), parent.constData(), parentMask);
        if (parentWatch >= 0) {
            m_parentWatch = parentWatch;
            m_awaitedName = child.mid(slash + 1);
            logDebug(lcCloudFolderWatcher(), QStringLiteral("Waiting for %1 to appear").arg(QFile::decodeName(child)));
            return isDirectory(child) ? ArmResult::raced : ArmResult::armed;
        }
        child = parent;
    }
    return ArmResult::failed;
}

void UbiquitousFileWatcher::rearm()
{
    if (!isWatching())
        return;
    if (!arm()) {
        const int error = errno;
        closeWatch();
        logError(lcCloudFolderWatcher(), QStringLiteral("Lost the watch of %1: %2").arg(m_folder, errnoText(error)));
    }
}

void UbiquitousFileWatcher::readEvents()
{
    alignas(inotify_event) char buffer[64 * 1024];
    while (isWatching()) {
        const ssize_t size = ::read(m_inotify.get(), buffer, sizeof buffer);
        if (size < 0 && errno == EINTR)
            continue;
        if (size <= 0)
            break; // EAGAIN: all read
        const QList<InotifyEvent> events = InotifyEvent::parse(buffer, static_cast<std::size_t>(size));
        for (const InotifyEvent& event : events) {
            if (!isWatching())
                break;
            handle(event);
        }
    }
    // The open that creates a file is reported right after its creation,
    // within the same call; a creation without one has made a whole file.
    if (!m_createdUnopened.isEmpty() && isWatching())
        noteChange();
    m_createdUnopened.clear();
}

void UbiquitousFileWatcher::handle(const InotifyEvent& event)
{
    if (event.mask & IN_Q_OVERFLOW) {
        // Events were lost, the folder's own end among them perhaps.
        rearm();
        noteChange();
    } else if (event.wd >= 0 && event.wd == m_folderWatch) {
        handleFolderEvent(event);
    } else if (event.wd >= 0 && event.wd == m_parentWatch) {
        if (event.mask & watchEndMask) {
            rearm();
        } else if ((event.mask & (IN_CREATE | IN_MOVED_TO)) && event.name == m_awaitedName) {
            rearm();
            if (m_folderWatch >= 0) {
                logDebug(lcCloudFolderWatcher(), QStringLiteral("%1 is back").arg(m_folder));
                noteChange();
            }
        }
    }
}

void UbiquitousFileWatcher::handleFolderEvent(const InotifyEvent& event)
{
    if (event.mask & watchEndMask) {
        rearm();
        noteChange();
        return;
    }
    if ((event.mask & IN_ISDIR) || !isPlaylistFileName(event.name))
        return;
    if (event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE))
        noteChange();
    else if (event.mask & IN_CREATE)
        m_createdUnopened.insert(event.name);
    else if (event.mask & IN_OPEN)
        m_createdUnopened.remove(event.name); // being written: its close-write counts
}

bool UbiquitousFileWatcher::isPlaylistFileName(const QByteArray& name) const
{
    if (name.isEmpty() || name.startsWith('.'))
        return false;
    return pathExtension(QFile::decodeName(name)).compare(m_fileExtension, Qt::CaseInsensitive) == 0;
}

void UbiquitousFileWatcher::deliverChange()
{
    const QStringList files = QDir(m_folder).entryList({QStringLiteral("*.") + m_fileExtension}, QDir::Files);
    logDebug(lcCloudFolderWatcher(), QStringLiteral("Cloud folder query updated: %1 file(s)").arg(files.size()));
    if (ChangeHandler onChange = m_onChange)
        onChange();
}

} // namespace vessa
