#pragma once

#include "Rasko/ScannedTrack.h"
#include "RaskoLocalFile/DirectoryWatcher.h"
#include "RaskoLocalFile/ScanProgress.h"
#include "VessaCore/TrackRef.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace vessa {

class LocalFileSourcePlugin;

// Runs every library job on one background thread, one at a time: scans of
// the music folders, batches of file events, the removal of a folder's rows,
// and reloads of the whole library from the database. Each job ends with
// jobFinished() on the main thread, in job order.
//
// - A scan requested while another is queued merges into it: at most one
//   scan waits, and it reads the folder list when it starts.
// - removeFolder() stops a running scan, runs before every waiting job,
//   deletes the folder's rows and reloads. A result that reaches the main
//   thread after a removal was requested, but was read before the removal
//   ran, comes without its library, so no track of a removed folder is ever
//   published again. File events are only applied under the current folders.
// - Scan progress reaches the main thread at most about 20 times a second,
//   and always with the last file.
//
// Threads: every public member is called on the main thread, where the
// signals are emitted. The worker thread only calls the local-file source
// and posts back. Destroying the worker stops the running job and joins it;
// results still on their way are dropped.
class LibraryWorker : public QObject {
    Q_OBJECT

public:
    enum class JobKind { scan, fileEvents, folderRemoval, reload };

    // The whole library as one job left it, prepared for the main thread.
    struct Library {
        QList<ScannedTrack> tracks; // by artist, album, title
        QList<TrackRef> refs;       // the tracks' references, in the same order
        QSet<TrackRef> refSet;
        // Rows under each music folder, by folder path.
        QHash<QString, qint64> trackCounts;
    };

    struct Outcome {
        JobKind kind = JobKind::reload;
        // Absent when the job failed or was stopped, a scan had no folders,
        // or a folder removal requested after the job began outdated it.
        std::optional<Library> library;
        // The job's failure (for a removal: of the reload after it); never a
        // cancellation, and dropped with an outdated library.
        std::exception_ptr error;
        // folderRemoval: the folder and the failure of deleting its rows.
        QString folder;
        std::exception_ptr removalError;
    };

    // At most this often scan progress goes to the main thread.
    static constexpr std::chrono::milliseconds progressInterval{50};

    explicit LibraryWorker(std::shared_ptr<LocalFileSourcePlugin> source, QObject* parent = nullptr);
    ~LibraryWorker() override;

    // The music folders (absolute, cleaned paths) that scans starting from
    // now on read, that file events must lie under, and that are counted.
    void setFolders(const QStringList& folders);

    // Queues a scan; false when it merged into a scan that already waits.
    bool requestScan();
    void applyFileEvents(DirectoryWatcher::EventBatch batch);
    void reload();
    // Stops a running scan and removes the folder's rows before any waiting
    // job, then reloads. When it stopped a scan and none waits, it queues a
    // new one and answers true (the stopped scan still finishes, without
    // a library).
    bool removeFolder(const QString& folder);

signals:
    void jobFinished(const vessa::LibraryWorker::Outcome& outcome);
    void scanProgressed(const vessa::ScanProgress& progress);

private:
    struct Job {
        JobKind kind = JobKind::reload;
        DirectoryWatcher::EventBatch batch;
        QString folder;
        quint64 removal = 0; // folderRemoval: its number, counted from 1
    };

    static Job job(JobKind kind);
    void run(std::stop_token stop);
    // Takes the next job and makes it the running one; nothing once stopped.
    std::optional<Job> takeJob(std::stop_token stop, std::stop_token& jobStop, QStringList& folders);
    Outcome perform(const Job& job, std::stop_token jobStop, const QStringList& folders);
    QList<ScannedTrack> scan(const QStringList& folders, std::stop_token jobStop);
    Library prepared(QList<ScannedTrack> tracks);
    void reportProgress(const ScanProgress& progress);
    void post(Outcome outcome, quint64 appliedRemovals);
    void deliver(Outcome outcome, quint64 appliedRemovals);

    const std::shared_ptr<LocalFileSourcePlugin> m_source;

    // Main thread only: folder removals requested so far.
    quint64 m_requestedRemovals = 0;

    // Worker thread only.
    quint64 m_appliedRemovals = 0;
    std::chrono::steady_clock::time_point m_lastProgress;

    // Guards the members below; never held while a job runs.
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Job> m_removals; // run before m_jobs
    std::deque<Job> m_jobs;
    bool m_scanWaiting = false;
    std::optional<JobKind> m_running;
    std::stop_source m_runningStop;
    QStringList m_folders;

    std::jthread m_thread; // last: stops first
};

} // namespace vessa

Q_DECLARE_METATYPE(vessa::LibraryWorker::Outcome)
