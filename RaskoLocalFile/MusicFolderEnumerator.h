#pragma once

#include "RaskoLocalFile/FileEntry.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

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
    // An archive as the index knows it: the date its members were indexed
    // with and their member paths ("archive::member").
    struct IndexedArchive {
        QDateTime lastModified;
        QStringList memberPaths;
    };
    using IndexedArchives = QHash<QString, IndexedArchive>;

    // The archives among the indexed paths (path -> stored date) whose members
    // all carry one date.
    static IndexedArchives indexedArchives(const QHash<QString, QDateTime>& storedDates);

    // All entries, folder by folder, each folder's items in name order, a
    // subfolder's items right after the subfolder's name. Throws
    // LocalFileError::cannotEnumerate when a music folder itself cannot be
    // read (nothing is returned then); a folder below it that cannot be read
    // is left out. Throws CancellationError once `stop` is requested.
    // An archive found in `unchanged` with its current date is not opened:
    // its indexed members are listed as they are.
    static QList<FileEntry> enumerateFiles(const QStringList& directories, const QSet<QString>& supportedExtensions,
                                           std::stop_token stop = {}, const IndexedArchives& unchanged = {});

    // enumerateFiles() in two steps. listFiles() lists every archive as an
    // entry of its own (extension "zip") without opening it;
    // expandArchives() then puts its members in its place.
    static QList<FileEntry> listFiles(const QStringList& directories, const QSet<QString>& supportedExtensions,
                                      std::stop_token stop = {});
    static void expandArchives(QList<FileEntry>& entries, const QSet<QString>& supportedExtensions,
                               const IndexedArchives& unchanged);

    // The modification date of the file at `path` when it is a regular file
    // (following symbolic links); nothing when it is anything else or cannot
    // be examined.
    static std::optional<QDateTime> regularFileModificationDate(const QString& path);

    // `path` without its trailing slashes ("/" stays "/").
    static QString withoutTrailingSlashes(const QString& path);
    // Whether `path` lies below one of the folders.
    static bool liesUnder(const QString& path, const QStringList& folders);
};

} // namespace vessa
