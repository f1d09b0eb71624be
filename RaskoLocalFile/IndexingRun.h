#pragma once

#include "RaskoLocalFile/FileEntry.h"
#include "RaskoLocalFile/FileIndexer.h"
#include "RaskoLocalFile/ScanProgress.h"

#include <QList>

#include <chrono>
#include <functional>
#include <stop_token>

namespace vessa {

class MediaDatabase;

// Reads a list of entries into the index with a fixed number of workers on
// the worker threads (WorkerThreads), so at most that many files (and their
// bytes) are in memory at once. The calling thread writes the workers' rows
// in batches, one transaction each (a multi-track file's rows replace its
// old ones in a transaction of their own) and one checkpoint of the
// database's WAL each, and reports progress after each batch is written,
// once per file, `completed` running from 1 to the total.
// It marks refused files in the index, and each archive listed in full once
// all its members are read, so that neither is read again while it stays
// the same.
//
// Threads: run() blocks its caller, which waits for the workers' files and
// so is never one of the worker threads; the progress callback is called on
// that thread, never on a worker and with no lock held. The indexer and
// database are used from the workers and the caller at once.
class IndexingRun {
public:
    using ProgressCallback = std::function<void(const ScanProgress&)>;

    // A batch is written when it holds this many files, when its first file
    // finished this long ago, and when the last file finished.
    static constexpr int filesPerBatch = 256;
    static constexpr std::chrono::milliseconds batchInterval{200};

    IndexingRun(const FileIndexer& indexer, MediaDatabase& database, int workerCount);

    // Reads every entry, in order of start. `archives` are archives whose
    // members were listed in full, those still to read among `entries`;
    // each is marked complete when the last of them is written (at once when
    // there are none), unless one of them could not be opened. A database
    // error ends the run with that error; a stop request ends it with
    // CancellationError after the files already read are written. Workers
    // are stopped and have ended before run() returns or throws.
    void run(const QList<FileEntry>& entries, const QList<FileEntry>& archives, const ProgressCallback& progress,
             std::stop_token stop);

private:
    const FileIndexer& m_indexer;
    MediaDatabase& m_database;
    const int m_workerCount;
};

} // namespace vessa
