#pragma once

#include "Rasko/ScannedTrack.h"
#include "RaskoLocalFile/DirectoryWatcher.h"
#include "RaskoLocalFile/ScanProgress.h"
#include "RaskoLocalFile/ScanTrigger.h"
#include "Vessa/App/Library/LibraryRefIndex.h"
#include "VessaCore/GenerationWorker.h"
#include "VessaCore/TrackRef.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>

namespace vessa {

class LocalFileSourcePlugin;

// Runs every library job in the background, one at a time: scans of the
// music folders, batches of file events, the removal of a folder's rows, and
// reloads of the whole library from the database. Each job ends with
// jobFinished() on the main thread, in job order.
//
// - A scan requested while another is queued merges into it: at most one
//   scan waits, and it reads the folder list when it starts. It is the
//   user's when either request was.
// - removeFolder() supersedes the running job (a scan of the remaining
//   folders makes up for a superseded scan or batch of file events), runs
//   before every waiting job, deletes the folder's rows and reloads. A superseded job
//   finishes without its library, even when it had already read it, so no
//   track of a removed folder is ever published again. File events are only
//   applied under the current folders.
// - A music folder that is missing or cannot be read (an unmounted drive) is
//   not scanned: its rows stay and are counted, but its tracks are not among
//   the playable references until it is back. So are the tracks whose files
//   are missing under the folders at or below a music folder that had
//   something mounted on them at the last scan and have nothing mounted on
//   them now (an unmounted share), whatever else those folders hold; the
//   files they hold are scanned and played as usual, and the folder watcher
//   waits for something to be mounted on them again.
// - The rows under the folders inside the music folders that the last scan
//   could not read (LocalFileSourcePlugin::unreadableFolders()) stay too,
//   and cannot be played. A batch of file events that finds one of them
//   readable again (or gone) runs a scan instead, which reads it.
// - Scan progress reaches the main thread at most about 20 times a second,
//   and always with the last file.
//
// Threads: every public member is called on the main thread, where the
// signals are emitted and the queue is kept. The jobs run on the generation
// worker's threads and only call the local-file source. Destroying the
// worker stops the running job and joins it; nothing arrives afterwards.
class LibraryWorker : public QObject {
    Q_OBJECT

public:
    enum class JobKind { scan, fileEvents, folderRemoval, reload };

    // The whole library as one job left it, prepared for the main thread.
    struct Library {
        QList<ScannedTrack> tracks; // in the database's order
        QList<TrackRef> refs;       // the tracks' references, in the same order
        // The tracks by reference; those under a music folder that is
        // missing now (an unmounted drive) cannot be played. Never null.
        std::shared_ptr<const LibraryRefIndex> refIndex = std::make_shared<const LibraryRefIndex>();
        // Rows under each music folder, by folder path.
        QHash<QString, qint64> trackCounts;
        // Why a music folder is unavailable now, in words that follow "it"
        // ("it does not exist", "nothing is mounted on it"), by folder path;
        // the folders that are there are left out.
        QHash<QString, QString> folderProblems;
    };

    struct Outcome {
        JobKind kind = JobKind::reload;
        // Absent when the job failed, a scan had no folders, or a folder
        // removal superseded the job.
        std::optional<Library> library;
        // The job's failure (for a removal: of the reload after it); never a
        // cancellation.
        std::exception_ptr error;
        // folderRemoval: the folder and the failure of deleting its rows.
        QString folder;
        std::exception_ptr removalError;
    };

    // At most this often scan progress goes to the main thread.
    static constexpr std::chrono::milliseconds progressInterval{50};

    explicit LibraryWorker(std::shared_ptr<LocalFileSourcePlugin> source, QObject* parent = nullptr);
    ~LibraryWorker() override;

    // The music folders (absolute, cleaned paths) that jobs starting from now
    // on scan, apply file events under and count.
    void setFolders(const QStringList& folders);

    // Queues a scan; false when it merged into a scan that already waits.
    bool requestScan(ScanTrigger trigger = ScanTrigger::automatic);
    void applyFileEvents(DirectoryWatcher::EventBatch batch);
    void reload();
    // Supersedes the running job and removes the folder's rows before any
    // waiting job, then reloads. Answers true when it queued a scan to make
    // up for a superseded scan or batch of file events.
    bool removeFolder(const QString& folder);

signals:
    void jobFinished(const vessa::LibraryWorker::Outcome& outcome);
    void scanProgressed(const vessa::ScanProgress& progress);

private:
    struct Job {
        JobKind kind = JobKind::reload;
        DirectoryWatcher::EventBatch batch;
        QString folder;
        ScanTrigger trigger = ScanTrigger::automatic; // scan only
    };

    static Job job(JobKind kind);
    bool queueScan(ScanTrigger trigger);
    void startNextJob();
    void finishJob(Outcome outcome);
    void superseded(const Job& job);
    // The job's work, on its worker thread.
    static Outcome perform(LocalFileSourcePlugin& source, const Job& job, const QStringList& folders,
                           std::stop_token stop, const std::function<void(const ScanProgress&)>& progress);
    static QList<ScannedTrack> scan(LocalFileSourcePlugin& source, const QStringList& folders,
                                    const QStringList& missing, const QStringList& mountsAway, std::stop_token stop,
                                    const std::function<void(const ScanProgress&)>& progress, ScanTrigger trigger);
    static Library prepared(LocalFileSourcePlugin& source, QList<ScannedTrack> tracks, const QStringList& folders,
                            const QStringList& missing, const QStringList& mountsAway);
    // A progress callback that posts at most one report per interval (and the last).
    std::function<void(const ScanProgress&)> throttledProgress();

    const std::shared_ptr<LocalFileSourcePlugin> m_source;
    QStringList m_folders;
    std::deque<Job> m_removals; // run before m_jobs
    std::deque<Job> m_jobs;
    bool m_scanWaiting = false;
    std::optional<Job> m_running;
    GenerationWorker m_worker{this}; // last: joins first
};

} // namespace vessa

Q_DECLARE_METATYPE(vessa::LibraryWorker::Outcome)
