#include "RaskoLocalFile/MusicFolderEnumerator.h"

#include "RaskoLocalFile/CloudDownload.h"
#include "RaskoLocalFile/DirHandle.h"
#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "VessaCore/Error.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/Logging.h"
#include "VessaCore/PathExtension.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vessa {

namespace {

struct FolderItem {
    QByteArray name;
    unsigned char type; // a DT_ value; DT_UNKNOWN when the file system does not say
};

// One folder read: its open handle, through which its items are examined
// without the kernel walking their whole paths again, and its items.
struct Folder {
    DirHandle dir;
    std::vector<FolderItem> items;
};

// Whether a failure to open or examine an item means that nothing readable
// is there now (gone, or replaced by a file or a link) rather than that what
// is there cannot be read.
bool isGone(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

// The folder `name` inside the open folder `parent` (or a path, with
// AT_FDCWD), its names sorted by their bytes; nothing when the folder cannot
// be opened or read to its end, with the reason in `error`. `followLink`
// lets a music folder itself be a symbolic link; below it no link to a
// folder is opened.
std::optional<Folder> readFolder(int parent, const QByteArray& name, bool followLink, int& error)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    const int fd = ::openat(parent, name.constData(), flags);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    DirHandle dir(fdopendir(fd));
    if (!dir) {
        error = errno;
        ::close(fd);
        return std::nullopt;
    }
    std::vector<FolderItem> items;
    for (;;) {
        errno = 0;
        const dirent* item = readdir(dir.get());
        if (!item)
            break;
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0)
            continue;
        items.push_back({QByteArray(item->d_name), item->d_type});
    }
    if (errno != 0) {
        error = errno;
        return std::nullopt;
    }
    std::sort(items.begin(), items.end(), [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
    return Folder{std::move(dir), std::move(items)};
}

QDateTime modificationDate(const struct stat& status)
{
    const qint64 msecs = qint64(status.st_mtim.tv_sec) * 1000 + qint64(status.st_mtim.tv_nsec) / 1000000;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

// The state of the regular file `name` in the folder `folder` (or of the
// path, with AT_FDCWD), following links. `error` tells why it could not be
// examined, 0 when it could.
std::optional<MusicFolderEnumerator::FileState> regularFileStateAt(int folder, const QByteArray& name, int& error)
{
    struct stat status;
    error = ::fstatat(folder, name.constData(), &status, 0) == 0 ? 0 : errno;
    if (error != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return MusicFolderEnumerator::FileState{modificationDate(status), qint64(status.st_size)};
}

// Whether the item `name` of the open folder is a symbolic link.
bool isLinkAt(int folder, const QByteArray& name)
{
    struct stat status;
    return ::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// Whether `error`, met examining the item `name` of the open folder, says
// that the folder cannot be read. Only the entry itself failing does: a link
// whose target is out of reach is left out, as a dangling one is.
bool makesFolderUnreadable(int folder, const QByteArray& name, int error)
{
    return error != 0 && !isGone(error) && !isLinkAt(folder, name);
}

// Whether a folder item of the dirent type `type` may be a file to index.
bool mayBeFile(unsigned char type)
{
    return type == DT_REG || type == DT_LNK || type == DT_UNKNOWN;
}

// The indexed extensions and "zip", matched against names in bytes: most
// names need no text.
class IndexedExtensions {
public:
    explicit IndexedExtensions(const QSet<QString>& supportedExtensions)
    {
        for (const QString& extension : supportedExtensions)
            m_extensions.push_back({extension.toUtf8(), extension});
        m_extensions.push_back({QByteArrayLiteral("zip"), QStringLiteral("zip")});
    }

    // The indexed extension (or "zip") of a name, compared without regard to
    // ASCII case, found where pathExtension() finds it: none without a dot,
    // after a leading dot only, or after a final one.
    const QString* find(const QByteArray& name) const
    {
        const qsizetype dot = name.lastIndexOf('.');
        if (dot <= 0 || dot == name.size() - 1)
            return nullptr;
        const QByteArrayView tail = QByteArrayView(name).sliced(dot + 1);
        for (const auto& [bytes, text] : m_extensions) {
            if (bytes.size() == tail.size() && qstrnicmp(bytes.constData(), tail.data(), tail.size()) == 0)
                return &text;
        }
        return nullptr;
    }

private:
    // A handful, as bytes and as text.
    std::vector<std::pair<QByteArray, QString>> m_extensions;
};

// The device the open folder lies on; nothing when it cannot be examined.
std::optional<dev_t> deviceOf(int folderFd, const char* name = ".")
{
    struct stat status;
    if (::fstatat(folderFd, name, &status, 0) != 0)
        return std::nullopt;
    return status.st_dev;
}

class Walk {
public:
    Walk(const QSet<QString>& supportedExtensions, std::stop_token stop, const std::function<void(FileEntry&&)>& found,
         QStringList* mountPoints, QStringList* unreadable)
        : m_extensions(supportedExtensions),
          m_stop(std::move(stop)),
          m_found(found),
          m_mountPoints(mountPoints),
          m_unreadable(unreadable)
    {
    }

    void musicFolder(const QString& folder)
    {
        const QByteArray path = pathToBytes(folder);
        int error = 0;
        std::optional<Folder> top = folder.isEmpty() ? std::nullopt : readFolder(AT_FDCWD, path, true, error);
        if (!top)
            throw LocalFileError::cannotEnumerate(folder);
        // Depth first, a subfolder's items right after its name, without
        // recursion, so a deep tree cannot exhaust a thread's stack.
        struct Frame {
            QString qpath;
            Folder folder;
            std::optional<dev_t> device;
            std::size_t next = 0;
        };
        std::vector<Frame> stack;
        const std::optional<dev_t> topDevice = deviceOf(dirfd(top->dir.get()));
        // The folder above a music folder given as a link is the one above
        // the folder it leads to.
        noteMountPoint(folder, topDevice, deviceOf(dirfd(top->dir.get()), ".."));
        stack.push_back({folder == u"/" ? QString() : folder, std::move(*top), topDevice});
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.folder.items.size()) {
                stack.pop_back();
                continue;
            }
            const FolderItem& item = frame.folder.items[frame.next++];
            const int folderFd = dirfd(frame.folder.dir.get());
            if (isRealDirectoryAt(folderFd, item.name, item.type)) {
                if (m_stop.stop_requested())
                    throw CancellationError();
                const QString childQPath = frame.qpath + u'/' + pathFromBytes(item.name);
                if (std::optional<Folder> children = readFolder(folderFd, item.name, false, error)) {
                    const std::optional<dev_t> device = deviceOf(dirfd(children->dir.get()));
                    noteMountPoint(childQPath, device, frame.device);
                    stack.push_back({childQPath, std::move(*children), device}); // `frame` is stale from here
                } else if (isGone(error))
                    logDebug(lcLocalFileScan(), QStringLiteral("Skipping folder that went away: %1").arg(childQPath));
                else
                    noteUnreadable(childQPath, error);
                continue;
            }
            if (mayBeFile(item.type))
                file(folderFd, item.name, frame.qpath);
        }
    }

private:
    // A folder that is there but cannot be opened or listed (permission
    // denied, an I/O error), or whose items cannot be examined: what was
    // indexed in it is kept, not taken for deleted. isUnreadableFolder()
    // tells the same of one folder.
    void noteUnreadable(const QString& folder, int error)
    {
        if (m_unreadable && !m_unreadable->contains(folder)) {
            m_unreadable->append(folder);
            logInfo(lcLocalFileScan(), QStringLiteral("Folder cannot be read, its tracks are kept: %1 (%2)")
                                           .arg(folder, QString::fromLocal8Bit(std::strerror(error))));
        }
    }

    // A folder on another device than the one above it has something mounted on it.
    void noteMountPoint(const QString& folder, std::optional<dev_t> device, std::optional<dev_t> deviceAbove)
    {
        if (m_mountPoints && device && deviceAbove && *device != *deviceAbove)
            m_mountPoints->append(folder);
    }

    // The item `name` of the open folder `folderFd`, whose path is `folder`.
    // Its path as text is built only for an item the library may index.
    void file(int folderFd, const QByteArray& rawName, const QString& folder)
    {
        const QString* found = m_extensions.find(rawName);
        if (!found)
            return;
        const QString& ext = *found;
        const QString qpath = folder + u'/' + pathFromBytes(rawName);
        // Follows a link to a file; a link to a folder, a dangling link, a
        // FIFO or a device is left out.
        int error = 0;
        const std::optional<MusicFolderEnumerator::FileState> state = regularFileStateAt(folderFd, rawName, error);
        if (makesFolderUnreadable(folderFd, rawName, error))
            noteUnreadable(folder.isEmpty() ? QStringLiteral("/") : folder, error);
        if (!state || CloudDownload::triggerDownloadIfEvicted(qpath))
            return;
        // An archive stands for its members until expandArchives().
        m_found(FileEntry{qpath, qpath, ext, state->lastModified, state->size});
    }

    const IndexedExtensions m_extensions;
    const std::stop_token m_stop;
    const std::function<void(FileEntry&&)>& m_found;
    QStringList* m_mountPoints;
    QStringList* m_unreadable;
};

} // namespace

QList<FileEntry> MusicFolderEnumerator::enumerateFiles(const QStringList& directories,
                                                       const QSet<QString>& supportedExtensions, std::stop_token stop,
                                                       const IndexedArchives& unchanged)
{
    QList<FileEntry> entries = listFiles(directories, supportedExtensions, stop);
    expandArchives(entries, supportedExtensions, unchanged);
    return entries;
}

QList<FileEntry> MusicFolderEnumerator::listFiles(const QStringList& directories,
                                                  const QSet<QString>& supportedExtensions, std::stop_token stop,
                                                  QStringList* mountPoints, QStringList* unreadableFolders)
{
    QList<FileEntry> entries;
    listFiles(
        directories, supportedExtensions, std::move(stop),
        [&entries](FileEntry&& entry) { entries.append(std::move(entry)); }, mountPoints, unreadableFolders);
    return entries;
}

void MusicFolderEnumerator::listFiles(const QStringList& directories, const QSet<QString>& supportedExtensions,
                                      std::stop_token stop, const std::function<void(FileEntry&&)>& found,
                                      QStringList* mountPoints, QStringList* unreadableFolders)
{
    Walk walk(supportedExtensions, stop, found, mountPoints, unreadableFolders);
    for (const QString& directory : directories) {
        if (stop.stop_requested())
            throw CancellationError();
        walk.musicFolder(withoutTrailingSlashes(directory));
    }
}

QList<FileEntry> MusicFolderEnumerator::expandArchives(QList<FileEntry>& entries,
                                                       const QSet<QString>& supportedExtensions,
                                                       const IndexedArchives& unchanged)
{
    const auto isArchive = [](const FileEntry& entry) { return ZipArchive::isArchiveExtension(entry.ext); };
    if (std::none_of(entries.cbegin(), entries.cend(), isArchive))
        return {};
    QList<FileEntry> opened;
    QList<FileEntry> expanded;
    expanded.reserve(entries.size());
    for (FileEntry& entry : entries) {
        if (!isArchive(entry)) {
            expanded.append(std::move(entry));
            continue;
        }
        ExpandedArchive archive = expandArchive(entry, supportedExtensions, unchanged);
        if (archive.opened)
            opened.append(entry);
        expanded.append(std::move(archive.members));
    }
    entries = std::move(expanded);
    return opened;
}

MusicFolderEnumerator::ExpandedArchive MusicFolderEnumerator::expandArchive(const FileEntry& archive,
                                                                            const QSet<QString>& supportedExtensions,
                                                                            const IndexedArchives& unchanged)
{
    // An archive whose members were all read at its current date and size
    // is not opened: its indexed members stand.
    ExpandedArchive expanded;
    const auto known = unchanged.constFind(archive.path);
    if (known == unchanged.cend() || known->lastModified != archive.lastModified || known->size != archive.size) {
        expanded.members = ZipArchive::enumerateZipContents(archive, supportedExtensions);
        expanded.opened = !expanded.members.isEmpty() || isReadable(archive.url);
        return expanded;
    }
    for (const QString& member : known->memberPaths) {
        const QString ext = pathExtension(member).toLower();
        if (supportedExtensions.contains(ext))
            expanded.members.append(FileEntry{archive.path, member, ext, archive.lastModified, archive.size});
    }
    return expanded;
}

MusicFolderEnumerator::IndexedArchives
MusicFolderEnumerator::indexedArchives(const IndexedFileDates& storedDates,
                                       const QHash<QString, MediaDatabase::FileMark>& marks)
{
    IndexedArchives archives;
    for (const MediaDatabase::FileMark& mark : marks) {
        if (mark.kind == MediaDatabase::FileMark::Kind::completeArchive)
            archives.insert(mark.filePath, IndexedArchive{mark.lastModified, mark.size, {}});
    }
    if (archives.isEmpty())
        return archives;
    QSet<QString> mixedDates;
    storedDates.forEach([&archives, &mixedDates](QByteArrayView storedPath, const QDateTime& date) {
        // Only a member's path holds the separator.
        if (!storedPath.contains("::"))
            return;
        const QString path = pathFromBytes(storedPath);
        const std::optional<ZipMemberPath::Parts> member = ZipMemberPath::split(path);
        const auto archive = member ? archives.find(member->archivePath) : archives.end();
        if (archive == archives.end())
            return;
        if (archive->lastModified != date)
            mixedDates.insert(member->archivePath);
        archive->memberPaths.append(path);
    });
    for (const QString& path : mixedDates)
        archives.remove(path);
    return archives;
}

std::optional<MusicFolderEnumerator::FileState> MusicFolderEnumerator::regularFileState(const QString& path)
{
    int error = 0;
    return regularFileStateAt(AT_FDCWD, pathToBytes(path), error);
}

bool MusicFolderEnumerator::cannotBeListed(const QString& path)
{
    int error = 0;
    return !path.isEmpty() && !readFolder(AT_FDCWD, pathToBytes(path), true, error) && !isGone(error);
}

bool MusicFolderEnumerator::isUnreadableFolder(const QString& path, const QSet<QString>& supportedExtensions)
{
    int error = 0;
    const std::optional<Folder> folder =
        path.isEmpty() ? std::nullopt : readFolder(AT_FDCWD, pathToBytes(path), true, error);
    if (!folder)
        return !path.isEmpty() && !isGone(error);
    // As the walk examines the items it may index.
    const IndexedExtensions extensions(supportedExtensions);
    const int folderFd = dirfd(folder->dir.get());
    for (const FolderItem& item : folder->items) {
        if (!mayBeFile(item.type) || !extensions.find(item.name) || isRealDirectoryAt(folderFd, item.name, item.type))
            continue;
        regularFileStateAt(folderFd, item.name, error);
        if (makesFolderUnreadable(folderFd, item.name, error))
            return true;
    }
    return false;
}

bool MusicFolderEnumerator::isReadable(const QString& path)
{
    return ::access(pathToBytes(path).constData(), R_OK) == 0;
}

QString MusicFolderEnumerator::withoutTrailingSlashes(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    return trimmed;
}

bool MusicFolderEnumerator::liesUnder(const QString& path, const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/'))
            return true;
    }
    return false;
}

} // namespace vessa
