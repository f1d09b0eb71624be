#include "RaskoLocalFile/IndexingRun.h"

#include "RaskoLocalFile/MediaDatabase.h"
#include "VessaCore/Error.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vessa {

namespace {

using SteadyClock = std::chrono::steady_clock;

// What the workers hand to the writing thread.
struct Handover {
    std::mutex mutex;
    std::condition_variable_any changed;
    std::vector<FileIndexer::Result> finished; // guarded by mutex
    std::atomic<qsizetype> nextEntry{0};
};

// Asks every worker to stop before joining any, so leaving run() waits for
// no more than the files already being read.
class Workers {
public:
    Workers() = default;
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
    ~Workers()
    {
        requestStop();
        m_threads.clear();
    }

    void add(std::jthread thread) { m_threads.push_back(std::move(thread)); }
    // Thread-safe once every worker was added.
    void requestStop()
    {
        for (std::jthread& thread : m_threads)
            thread.request_stop();
    }

private:
    std::vector<std::jthread> m_threads;
};

void write(MediaDatabase& database, const std::vector<FileIndexer::Result>& batch)
{
    QList<MediaDatabase::TrackRow> rows;
    for (const FileIndexer::Result& result : batch) {
        if (result.kind == FileIndexer::Result::Kind::single)
            rows.append(result.rows);
    }
    database.upsert(rows);
    for (const FileIndexer::Result& result : batch) {
        if (result.kind == FileIndexer::Result::Kind::multiTrack)
            database.replaceTracks(result.path, result.rows);
    }
}

} // namespace

IndexingRun::IndexingRun(const FileIndexer& indexer, MediaDatabase& database, int workerCount)
    : m_indexer(indexer), m_database(database), m_workerCount(std::max(workerCount, 1))
{
}

void IndexingRun::run(const QList<FileEntry>& entries, const ProgressCallback& progress, std::stop_token stop)
{
    const qsizetype total = entries.size();
    if (total == 0)
        return;
    if (stop.stop_requested())
        throw CancellationError();

    Handover handover;
    Workers workers;
    const qsizetype workerCount = std::min<qsizetype>(m_workerCount, total);
    for (qsizetype i = 0; i < workerCount; ++i) {
        workers.add(std::jthread([this, &entries, &handover, total](std::stop_token workerStop) {
            while (!workerStop.stop_requested()) {
                const qsizetype index = handover.nextEntry.fetch_add(1);
                if (index >= total)
                    return;
                FileIndexer::Result result = m_indexer.index(entries.at(index), workerStop);
                {
                    std::lock_guard lock(handover.mutex);
                    handover.finished.push_back(std::move(result));
                }
                handover.changed.notify_all();
            }
        }));
    }
    const std::stop_callback stopWorkers(stop, [&workers] { workers.requestStop(); });

    std::vector<FileIndexer::Result> batch;
    std::optional<SteadyClock::time_point> batchStarted;
    qint64 received = 0;
    qint64 written = 0;
    const auto writeBatch = [&] {
        write(m_database, batch);
        const auto files = static_cast<qint64>(batch.size());
        batch.clear();
        batchStarted.reset();
        for (qint64 i = 0; i < files; ++i) {
            ++written;
            if (progress)
                progress(ScanProgress{written, total});
        }
    };

    while (written < total) {
        {
            std::unique_lock lock(handover.mutex);
            const auto ready = [&handover] { return !handover.finished.empty(); };
            if (batchStarted)
                handover.changed.wait_until(lock, stop, *batchStarted + batchInterval, ready);
            else
                handover.changed.wait(lock, stop, ready);
            received += static_cast<qint64>(handover.finished.size());
            std::move(handover.finished.begin(), handover.finished.end(), std::back_inserter(batch));
            handover.finished.clear();
        }
        if (!batch.empty() && !batchStarted)
            batchStarted = SteadyClock::now();
        if (stop.stop_requested()) {
            // What was read is kept; the rest is read by the next scan.
            if (!batch.empty())
                writeBatch();
            throw CancellationError();
        }
        if (!batch.empty()
            && (batch.size() >= std::size_t(filesPerBatch) || received == total
                || SteadyClock::now() >= *batchStarted + batchInterval))
            writeBatch();
    }
}

} // namespace vessa
