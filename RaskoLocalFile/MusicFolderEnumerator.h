#pragma once

#include "RaskoLocalFile/FileEntry.h"
#include "RaskoLocalFile/IndexedFileDates.h"
#include "RaskoLocalFile/MediaDatabase.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <stop_token>

namespace vessa {

// Lists what the library indexes under the music folders: every regular file
// whose lower-cased extension is supported, and the supported members of
// every ZIP archive (an archive itself is never an entry).
//
// Every folder below a music folder is descended into, hidden ones too, but a
// symbolic link to a folder is not followed (so links cannot make loops); a
// link to a file counts as the file, under the link's own path. Only regular
// files are read, so a FIFO or device with a music extension cannot block
// the scan. Paths are built from the music folder's path as given (trailing
// slashes dropped), so they match the paths the directory watcher reports.
//
// Stateless; any thread, several at once.
class MusicFolderEnumerator {
public:
    // An archive as the index knows it: the date and size its members were
    // all read at, and the paths ("archive::member") of those indexed.
    struct IndexedArchive {
        QDateTime lastModified;
        qint64 size = 0;
        QStringList memberPaths;
    };
    using IndexedArchives = QHash<QString, IndexedArchive>;

    // The archives marked complete, with their members among the indexed
    // paths; one with a member of another date than its mark's is left out.
    static IndexedArchives indexedArchives(const IndexedFileDates& storedDates,
                                           const QHash<QString, MediaDatabase::FileMark>& marks);

    // All entries, folder by folder, each folder's items in name order, a
    // subfolder's items right after the subfolder's name. Throws
    // LocalFileError::cannotEnumerate when a music folder itself cannot be
    // read (nothing is returned then); a folder below it that cannot be read
    // is left out. Throws CancellationError once `stop` is requested.
    // An archive found in `unchanged` with its current date and size is not
    // opened: its indexed members are listed as they are.
    static QList<FileEntry> enumerateFiles(const QStringList& directories, const QSet<QString>& supportedExtensions,
                                           std::stop_token stop = {}, const IndexedArchives& unchanged = {});

    // enumerateFiles() in two steps. listFiles() lists every archive as an
    // entry of its own (extension "zip") without opening it, and adds to
    // `mountPoints` (when given) each folder it read that lies on another
    // device than the folder above it, the music folders included, and to
    // `unreadableFolders` (when given) each folder below a music folder that
    // is there but cannot be opened or listed, or whose items cannot be
    // examined (permission denied, an I/O error; logged once at info);
    // expandArchives() then puts each archive's members in its place, and
    // returns the archives it opened and listed (one that listed nothing and
    // cannot be read is left out).
    static QList<FileEntry> listFiles(const QStringList& directories, const QSet<QString>& supportedExtensions,
                                      std::stop_token stop = {}, QStringList* mountPoints = nullptr,
                                      QStringList* unreadableFolders = nullptr);
    static QList<FileEntry> expandArchives(QList<FileEntry>& entries, const QSet<QString>& supportedExtensions,
                                           const IndexedArchives& unchanged);
    // listFiles() handing each entry to `found` as it is listed, so that no
    // list of them all need be kept.
    static void listFiles(const QStringList& directories, const QSet<QString>& supportedExtensions,
                          std::stop_token stop, const std::function<void(FileEntry&&)>& found,
                          QStringList* mountPoints = nullptr, QStringList* unreadableFolders = nullptr);
    // What expandArchives() puts in an archive's place, and whether it was
    // opened and listed.
    struct ExpandedArchive {
        QList<FileEntry> members;
        bool opened = false;
    };
    static ExpandedArchive expandArchive(const FileEntry& archive, const QSet<QString>& supportedExtensions,
                                         const IndexedArchives& unchanged);

    // A regular file's modification date and size.
    struct FileState {
        QDateTime lastModified;
        qint64 size = 0;
    };
    // The state of the file at `path` when it is a regular file (following
    // symbolic links); nothing when it is anything else or cannot be examined.
    static std::optional<FileState> regularFileState(const QString& path);
    // Whether the file at `path` can be opened for reading now.
    static bool isReadable(const QString& path);
    // Whether a folder is at `path` that cannot be opened or listed now.
    static bool cannotBeListed(const QString& path);
    // Whether a folder is at `path` that cannot be read now as the walk of
    // listFiles() reads it: it cannot be opened or listed, or an item in it
    // that the library may index (by `supportedExtensions`, or an archive)
    // cannot be examined (a folder readable but not searchable, a file
    // system refusing to examine one file). A folder that is gone can be
    // read: nothing of it is kept.
    static bool isUnreadableFolder(const QString& path, const QSet<QString>& supportedExtensions);

    // `path` without its trailing slashes ("/" stays "/").
    static QString withoutTrailingSlashes(const QString& path);
    // Whether `path` lies below one of the folders.
    static bool liesUnder(const QString& path, const QStringList& folders);
};

} // namespace vessa
