#pragma once

#include "Rasko/ScannedTrack.h"
#include "RaskoLocalFile/DirectoryWatcher.h"
#include "Vessa/App/Library/LibraryQueueOrder.h"
#include "Vessa/App/Library/LibraryRefIndex.h"
#include "Vessa/App/Library/LibraryScanProgress.h"
#include "Vessa/App/Library/LibraryWorker.h"
#include "VessaCore/GenerationWorker.h"
#include "VessaCore/TrackRef.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <memory>
#include <optional>

class QSettings;

namespace vessa {

class LocalFileSourcePlugin;
class MusicFolderWatcher;
class PlayContext;
class TrackAvailabilityIndex;

// The music library: the music folders, the scans that run or wait, and the
// library the last job published. It owns the library's background jobs and
// the folder watcher, keeps both on the folders, and makes the availability
// index and the library's play queue follow every published library. The
// saved playback state is applied at the first reload of a run.
//
// The library's play queue is the one a library list loaded through
// loadQueue(), or the whole library a library change loaded while no
// playlist's queue played. Each library change makes it the new library; a
// queue loaded with an order (a music folder, a filter, a sort) becomes the
// new library's tracks in that order instead, worked out in the background.
// Either way the sounding track stays current, as PlayContext::reloadQueue
// keeps it. The order is the list's when the queue was loaded: a filter typed
// later does not change the queue.
//
// A failed job is logged and reported through failed(); the app state shows
// it as its scanError.
//
// Threads: main thread only. The jobs, the watcher's walks and the queue's
// rebuilds run on the owned workers' threads and come back to the main
// thread; destroying the library stops and joins them.
class MusicLibrary : public QObject {
    Q_OBJECT

public:
    // The queue identity of the library's own list.
    static constexpr QLatin1String libraryQueueID{"library"};

    // Takes the saved music folders from `settings` and starts watching them.
    MusicLibrary(QSettings& settings, std::shared_ptr<LocalFileSourcePlugin> source, PlayContext& playContext,
                 TrackAvailabilityIndex& availabilityIndex, QObject* parent = nullptr);
    ~MusicLibrary() override;

    MusicFolderWatcher& folderWatcher() const { return *m_folderWatcher; }

    // ---- observable fields

    // The music folders (absolute, cleaned paths) in the order added. Every
    // assignment saves them and points the folder watcher at them.
    const QStringList& watchedDirectories() const { return m_watchedDirectories; }
    void setWatchedDirectories(const QStringList& folders);
    // True from a scan request until no scan runs or waits.
    bool isScanning() const { return m_isScanning; }
    // The latest progress of the running or last scan; notifies on every assignment.
    const std::optional<LibraryScanProgress>& scanProgress() const { return m_scanProgress; }
    // The library in the database's order (artist, album, disc and track,
    // title); notifies on every assignment.
    const QList<ScannedTrack>& scannedTracks() const { return m_scannedTracks; }
    // scannedTracks by reference (the first file of each); published with it.
    const LibraryRefIndex& libraryRefs() const { return *m_libraryRefs; }

    // ---- music folders and scanning

    // Adds a folder (once); the caller scans next.
    void addWatchedDirectory(const QString& folder);
    // Removes the folder, stops a running scan, deletes the folder's tracks
    // and reloads the library; a stopped scan starts again without it.
    void removeWatchedDirectory(const QString& folder);
    // Scans every music folder in the background; a request while a scan
    // runs is merged into one follow-up scan. Announced by scanRequested().
    // The user's scan (Settings > Rescan) reads the refused files again.
    void rescanAll(ScanTrigger trigger = ScanTrigger::automatic);
    // Reads the library from the database in the background and publishes it.
    void reloadTracksFromDatabase();
    // Tracks indexed under the folder as of the last published library.
    qint64 trackCount(const QString& folder) const;
    // Why the music folder was unavailable at the last published library
    // ("it does not exist", "it cannot be read", "nothing is mounted on
    // it"); nothing while it is there.
    std::optional<QString> folderProblem(const QString& folder) const;

    // ---- the library's play queue

    // Loads tracks of the library as the play queue, under the library's
    // queue identity, the entry at `startIndex` current. After a library
    // change the queue is made again by `order` from the new library; without
    // an order it becomes the whole library.
    void loadQueue(const QList<TrackRef>& tracks, qsizetype startIndex, LibraryQueueOrderPtr order);

signals:
    void watchedDirectoriesChanged();
    void isScanningChanged();
    void scanProgressChanged();
    void scannedTracksChanged();
    // A scan was requested (after isScanning and scanProgress were set).
    void scanRequested();
    // A background job failed; never a cancellation.
    void failed(std::exception_ptr error);

private:
    void startDirectoryWatching();
    void handleFileEvents(const DirectoryWatcher::EventBatch& batch);
    void libraryJobFinished(const LibraryWorker::Outcome& outcome);
    void applyReload(const LibraryWorker::Outcome& outcome);
    void publishLibrary(const LibraryWorker::Library& library);
    // Whether the play queue is the library's (not a playlist's or a document's).
    bool queueFollowsLibrary() const;
    // Makes the library's queue (when it is the queue) follow a new library.
    void loadLibraryQueue(const LibraryWorker::Library& library);
    // A queue of another list replaced the library's.
    void queueIdentityChanged();
    void scanEnded();
    void setIsScanning(bool scanning);
    void setScanProgress(std::optional<LibraryScanProgress> progress);

    QSettings& m_settings;
    PlayContext& m_playContext;
    TrackAvailabilityIndex& m_availabilityIndex;
    std::unique_ptr<LibraryWorker> m_libraryWorker;
    std::unique_ptr<MusicFolderWatcher> m_folderWatcher;

    QStringList m_watchedDirectories;
    bool m_isScanning = false;
    std::optional<LibraryScanProgress> m_scanProgress;
    QList<ScannedTrack> m_scannedTracks;
    std::shared_ptr<const LibraryRefIndex> m_libraryRefs = std::make_shared<const LibraryRefIndex>();
    QHash<QString, qint64> m_trackCounts;
    QHash<QString, QString> m_folderProblems;
    // Scans requested and not yet finished (a merged request adds none).
    int m_scansOutstanding = 0;
    // The saved playback state is applied at the first reload of a run only.
    bool m_savedStateApplied = false;
    // How the library's queue is made from a new library; none: the whole library.
    LibraryQueueOrderPtr m_queueOrder;
    GenerationWorker m_queueRebuild{this}; // last: joins first
};

} // namespace vessa
