#include "RaskoLocalFile/FileEventIndexer.h"

#include "RaskoLocalFile/CloudDownload.h"
#include "RaskoLocalFile/FileEntry.h"
#include "RaskoLocalFile/IndexingRun.h"
#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "VessaCore/Logging.h"
#include "VessaCore/PathExtension.h"

namespace vessa {

FileEventIndexer::FileEventIndexer(const FileIndexer& indexer, MediaDatabase& database,
                                   const QSet<QString>& supportedExtensions)
    : m_indexer(indexer), m_database(database), m_supportedExtensions(supportedExtensions)
{
}

void FileEventIndexer::apply(const DirectoryWatcher::EventBatch& batch, std::stop_token stop)
{
    removeFiles(batch.removed);
    indexModifiedFiles(batch.modified, stop);
}

void FileEventIndexer::removeFiles(const QStringList& removed)
{
    QStringList removedFiles;
    QStringList removedArchives;
    for (const QString& path : removed) {
        const QString ext = pathExtension(path).toLower();
        if (ZipArchive::isArchiveExtension(ext))
            removedArchives.append(path);
        else if (m_supportedExtensions.contains(ext))
            removedFiles.append(path);
    }
    if (removedFiles.isEmpty() && removedArchives.isEmpty())
        return;
    logInfo(
        lcLocalFileScan(),
        QStringLiteral("Removing %1 deleted file(s) from database").arg(removedFiles.size() + removedArchives.size()));
    // Marks first: a mark outliving its rows would claim them indexed.
    m_database.removeFileMarks(removedFiles + removedArchives);
    m_database.removeTracksWithPaths(removedFiles);
    for (const QString& archive : removedArchives)
        m_database.removeTracksWithPathPrefix(ZipMemberPath::make(archive, QString()));
}

void FileEventIndexer::indexModifiedFiles(const QStringList& modified, std::stop_token stop)
{
    QList<FileEntry> files;
    QList<FileEntry> members;
    QList<FileEntry> archives;
    QStringList goneMembers;
    for (const QString& path : modified) {
        const QString ext = pathExtension(path).toLower();
        const bool archive = ZipArchive::isArchiveExtension(ext);
        if (!archive && !m_supportedExtensions.contains(ext))
            continue;
        const std::optional<MusicFolderEnumerator::FileState> state = MusicFolderEnumerator::regularFileState(path);
        if (!state || CloudDownload::triggerDownloadIfEvicted(path))
            continue;
        const FileEntry entry{path, path, ext, state->lastModified, state->size};
        if (!archive) {
            files.append(entry);
            continue;
        }
        const QList<FileEntry> listed = ZipArchive::enumerateZipContents(entry, m_supportedExtensions);
        if (!listed.isEmpty() || MusicFolderEnumerator::isReadable(path))
            archives.append(entry);
        QSet<QString> listedPaths;
        for (const FileEntry& member : listed)
            listedPaths.insert(member.path);
        for (const QString& indexed : m_database.filePathsWithPrefix(ZipMemberPath::make(path, QString()))) {
            if (!listedPaths.contains(indexed))
                goneMembers.append(indexed);
        }
        members.append(listed);
    }
    m_database.removeTracksWithPaths(goneMembers);

    files.append(members);
    if (!files.isEmpty())
        logInfo(lcLocalFileScan(), QStringLiteral("Scanning %1 new/modified file(s)").arg(files.size()));
    IndexingRun(m_indexer, m_database, 1).run(files, archives, {}, stop);
}

} // namespace vessa
