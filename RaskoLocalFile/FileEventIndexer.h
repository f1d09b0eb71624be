#pragma once

#include "RaskoLocalFile/DirectoryWatcher.h"

#include <QSet>
#include <QString>

#include <stop_token>

namespace vessa {

class FileIndexer;
class MediaDatabase;

// Brings the index up to date with one batch of file events: removes the
// rows of removed files (and of the members of removed archives), reads every
// modified file again, one at a time, and lists every modified archive again
// (rows of members it no longer holds go). The batch's mustRescan is not
// read: the caller scans instead.
//
// Threads: apply() blocks its caller on the disk and the database; the
// indexer and the database may be used by other threads at the same time.
class FileEventIndexer {
public:
    // `supportedExtensions`: lower case, without the dot and without the
    // archive extension.
    FileEventIndexer(const FileIndexer& indexer, MediaDatabase& database, const QSet<QString>& supportedExtensions);

    // Throws MediaDatabaseError, or CancellationError once `stop` is requested.
    void apply(const DirectoryWatcher::EventBatch& batch, std::stop_token stop);

private:
    void removeFiles(const QStringList& removed);
    void indexModifiedFiles(const QStringList& modified, std::stop_token stop);

    const FileIndexer& m_indexer;
    MediaDatabase& m_database;
    const QSet<QString>& m_supportedExtensions;
};

} // namespace vessa
