#include "RaskoLocalFile/IndexingRun.h"

#include "RaskoLocalFile/MediaDatabase.h"
#include "VessaCore/Error.h"
#include "VessaCore/WorkerThreads.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace vessa {

namespace {

using SteadyClock = std::chrono::steady_clock;

using FileMark = MediaDatabase::FileMark;

// One entry read: its index in the run's list, and what to write for it.
struct Finished {
    qsizetype entry;
    FileIndexer::Result result;
};

// What the workers hand to the writing thread.
struct Handover {
    std::mutex mutex;
    std::condition_variable_any changed;
    std::vector<Finished> finished; // guarded by mutex
    std::atomic<qsizetype> nextEntry{0};
};

FileMark markOf(const FileEntry& file, FileMark::Kind kind)
{
    return FileMark{file.path, file.size, file.lastModified, kind};
}

// The members each archive still waits for. Used by the writing thread only.
class ArchivesLeft {
public:
    ArchivesLeft(const QList<FileEntry>& archives, const QList<FileEntry>& entries)
    {
        for (const FileEntry& archive : archives)
            m_archives.insert(archive.url, Pending{archive, 0, false});
        // A member's url is its archive's path; no plain file's can be.
        for (const FileEntry& entry : entries) {
            const auto pending = m_archives.find(entry.url);
            if (pending != m_archives.end())
                ++pending->membersLeft;
        }
    }

    // The archives with no member to read: complete already.
    QList<FileMark> completeMarks() const
    {
        QList<FileMark> marks;
        for (const Pending& pending : m_archives) {
            if (pending.membersLeft == 0)
                marks.append(markOf(pending.archive, FileMark::Kind::completeArchive));
        }
        return marks;
    }

    // Counts one written entry; the archive's mark when it was the last
    // member its archive waited for.
    std::optional<FileMark> written(const FileEntry& entry, FileIndexer::Result::Kind kind)
    {
        const auto pending = m_archives.find(entry.url);
        if (pending == m_archives.end())
            return std::nullopt;
        pending->skippedOne = pending->skippedOne || kind == FileIndexer::Result::Kind::skipped;
        if (--pending->membersLeft > 0 || pending->skippedOne)
            return std::nullopt;
        return markOf(pending->archive, FileMark::Kind::completeArchive);
    }

private:
    struct Pending {
        FileEntry archive;
        qsizetype membersLeft;
        bool skippedOne;
    };
    QHash<QString, Pending> m_archives;
};

// Rows first, then the marks, so that no mark is kept for rows not written.
void write(MediaDatabase& database, const QList<FileEntry>& entries, const std::vector<Finished>& batch,
           ArchivesLeft& archivesLeft)
{
    using Kind = FileIndexer::Result::Kind;
    // One checkpoint for the batch, not one for each multi-track file.
    const MediaDatabase::WriteBatch writing(database);
    QList<MediaDatabase::TrackRow> rows;
    for (const Finished& finished : batch) {
        if (finished.result.kind == Kind::single)
            rows.append(finished.result.rows);
    }
    database.upsert(rows);
    QList<FileMark> marks;
    for (const Finished& finished : batch) {
        const FileEntry& entry = entries.at(finished.entry);
        if (finished.result.kind == Kind::multiTrack)
            database.replaceTracks(finished.result.path, finished.result.rows);
        else if (finished.result.kind == Kind::refused)
            marks.append(markOf(entry, FileMark::Kind::refused));
        if (std::optional<FileMark> complete = archivesLeft.written(entry, finished.result.kind))
            marks.append(std::move(*complete));
    }
    database.addFileMarks(marks);
}

} // namespace

IndexingRun::IndexingRun(const FileIndexer& indexer, MediaDatabase& database, int workerCount)
    : m_indexer(indexer), m_database(database), m_workerCount(std::max(workerCount, 1))
{
}

void IndexingRun::run(const QList<FileEntry>& entries, const QList<FileEntry>& archives,
                      const ProgressCallback& progress, std::stop_token stop)
{
    ArchivesLeft archivesLeft(archives, entries);
    m_database.addFileMarks(archivesLeft.completeMarks());
    const qsizetype total = entries.size();
    if (total == 0)
        return;
    if (stop.stop_requested())
        throw CancellationError();

    Handover handover;
    const qsizetype workerCount = std::min<qsizetype>(m_workerCount, total);
    std::vector<WorkerThreads::Piece> workers(
        size_t(workerCount), [this, &entries, &handover, total](std::stop_token workerStop) {
            while (!workerStop.stop_requested()) {
                const qsizetype index = handover.nextEntry.fetch_add(1);
                if (index >= total)
                    return;
                FileIndexer::Result result = m_indexer.index(entries.at(index), workerStop);
                {
                    std::lock_guard lock(handover.mutex);
                    handover.finished.push_back(Finished{index, std::move(result)});
                }
                handover.changed.notify_all();
            }
        });

    // This thread writes what the workers read; leaving early, by a stop or
    // a failure, stops them too, and they are waited for either way.
    const auto writeWhatWasRead = [&](std::stop_token runStop) {
        std::vector<Finished> batch;
        // When the batch's first file finished; meaningless while the batch is empty.
        SteadyClock::time_point batchStarted;
        qint64 received = 0;
        qint64 written = 0;
        const auto writeBatch = [&] {
            write(m_database, entries, batch, archivesLeft);
            const auto files = static_cast<qint64>(batch.size());
            batch.clear();
            for (qint64 i = 0; i < files; ++i) {
                ++written;
                if (progress)
                    progress(ScanProgress{written, total});
            }
        };

        while (written < total) {
            const bool batchWasEmpty = batch.empty();
            {
                std::unique_lock lock(handover.mutex);
                const auto ready = [&handover] { return !handover.finished.empty(); };
                if (!batchWasEmpty)
                    handover.changed.wait_until(lock, runStop, batchStarted + batchInterval, ready);
                else
                    handover.changed.wait(lock, runStop, ready);
                received += static_cast<qint64>(handover.finished.size());
                std::move(handover.finished.begin(), handover.finished.end(), std::back_inserter(batch));
                handover.finished.clear();
            }
            if (batchWasEmpty && !batch.empty())
                batchStarted = SteadyClock::now();
            if (runStop.stop_requested()) {
                // What was read is kept; the rest is read by the next scan.
                if (!batch.empty())
                    writeBatch();
                throw CancellationError();
            }
            if (!batch.empty()
                && (batch.size() >= std::size_t(filesPerBatch) || received == total
                    || SteadyClock::now() >= batchStarted + batchInterval))
                writeBatch();
        }
    };
    WorkerThreads::run(std::move(workers), writeWhatWasRead, stop);
}

} // namespace vessa
