#pragma once

#include "Rasko/MetadataExtractor.h"
#include "Rasko/MultiTrackScanner.h"
#include "Rasko/ScannedTrack.h"
#include "Rasko/SourcePlugin.h"
#include "RaskoLocalFile/DirectoryWatcher.h"
#include "RaskoLocalFile/FileIndexer.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/ScanProgress.h"
#include "RaskoLocalFile/ScanTrigger.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace vessa {

// The library's one source: indexes the audio files under the music folders
// (ZIP archive members and the sub-tracks of multi-track files included) into
// the media database, keeps the index current from file events, and resolves
// a track reference to its file, or to the bytes of its archive member.
//
// Threads: every member may be called from any thread, several at once; apart
// from the watcher, the index in the database is the only lasting state.
// Everything but name() and
// canHandle() blocks on the disk or the database, so callers keep it off the
// main thread. Two scans may overlap; they then share the database, whose
// statements are serialised.
class LocalFileSourcePlugin : public SourcePlugin {
public:
    using ProgressCallback = std::function<void(const ScanProgress&)>;

    // At most this many files are read at once during a scan.
    static constexpr int maximumFilesInFlight = 8;

    // `supportedExtensions` are the extensions (without the dot) the library
    // indexes, compared in lower case; "zip" always means an archive to look
    // into, never a file to index. No file or database access.
    LocalFileSourcePlugin(std::shared_ptr<MediaDatabase> database, MetadataExtractorPtr metadataExtractor,
                          QList<MultiTrackScannerPtr> multiTrackScanners, QSet<QString> supportedExtensions);
    ~LocalFileSourcePlugin() override;

    LocalFileSourcePlugin(const LocalFileSourcePlugin&) = delete;
    LocalFileSourcePlugin& operator=(const LocalFileSourcePlugin&) = delete;

    // "LocalFile".
    QString name() const override;
    // True for every reference of the "track" scheme.
    bool canHandle(const TrackRef& ref) const override;
    // The first indexed row of the reference's artist, album and title (a row
    // of its whole-second duration first). A plain file comes back as its
    // path, an archive member as its bytes. Throws LocalFileError
    // (trackNotFound, fileNotFound, cannotRead, zipEntryNotFound),
    // ZipArchiveError or MediaDatabaseError.
    SourceResult resolve(const TrackRef& ref) override;

    // Brings the index up to date with the folders (absolute paths) and
    // returns the whole index. Files whose modification date equals the
    // stored one are not read, nor are files refused before (not audio, or
    // damaged) at their current size and date; an archive all of whose
    // members were read at its current size and date is not even opened
    // (its indexed members stand), while one a stopped scan left unfinished
    // is. New and changed files are read, at most maximumFilesInFlight at
    // once; rows of files that are gone are removed, except those under
    // `keptDirectories` (music folders that are missing for now, such as an
    // unmounted drive, which are not listed, and mount points that are away,
    // see mountPointsAway()) and under the folders inside them that cannot
    // be opened or listed (see unreadableFolders()). The folders found to
    // have something mounted on them (on another device than the folder
    // above, or listed in the mount table) are remembered for the next scan,
    // with the kept ones. A file that cannot be read is skipped (its rows
    // stay). A scan the user asked for reads the refused files again.
    // `progress` is called on this thread once per file read. Throws
    // LocalFileError::cannotEnumerate when a folder cannot be read (the index
    // is then untouched), MediaDatabaseError, and CancellationError once
    // `stop` is requested (rows already written stay).
    QList<ScannedTrack> scanDirectories(const QStringList& directories, const ProgressCallback& progress = {},
                                        std::stop_token stop = {}, const QStringList& keptDirectories = {},
                                        ScanTrigger trigger = ScanTrigger::automatic);

    // The folders inside the music folders that the last scan could not open
    // or list, or whose items it could not examine (permission denied, an
    // I/O error). Their rows and marks stay,
    // as those of a missing music folder, until a scan can read them.
    QStringList unreadableFolders();
    // Whether a scan would find the folder at `path` unreadable now (see
    // MusicFolderEnumerator::isUnreadableFolder()), without scanning.
    bool isUnreadableFolder(const QString& path) const;

    // The whole index, in MediaDatabase::allTracks() order. While the
    // database has not been written to, the list made last time is handed
    // out again (shared, not copied). Throws MediaDatabaseError.
    QList<ScannedTrack> allTracksFromDatabase();

    // Applies one batch of file events (FileEventIndexer says how) and
    // returns the whole index afterwards. Throws MediaDatabaseError, or
    // CancellationError once `stop` is requested.
    QList<ScannedTrack> handleFileEvents(const DirectoryWatcher::EventBatch& batch, std::stop_token stop = {});

    // The folders at or below `directories` that something was mounted on at
    // the last scan and that nothing is mounted on now, whatever they hold of
    // their own, or that are gone (an unmounted drive or share; see
    // MountPoints). The rows under them whose files are missing are to be
    // kept: the caller passes them to scanDirectories() as kept, and the
    // files they hold are listed as usual. Throws MediaDatabaseError.
    QStringList mountPointsAway(const QStringList& directories);
    // The folders mountPointsAway() found last: the watcher waits for
    // something to be mounted on them again and then asks for a full rescan
    // (also a watcher started later).
    void waitForMounts(const QStringList& folders);

    // The number of indexed rows under the folder, and their removal (archive
    // members of archives under it included). Throw MediaDatabaseError.
    qint64 trackCount(const QString& underDirectory);
    void removeTracks(const QString& underDirectory);

    // Watches the folders for file changes; `onChange` gets each debounced
    // batch on the watcher's thread. While watching, a later call only points
    // the watcher at the new folders and keeps the first callback. Returns
    // once the watcher has taken up the folders. Throws ThreadStartError,
    // watching nothing, when the system refuses the watcher's thread.
    void startWatching(const QStringList& directories, DirectoryWatcher::Callback onChange);
    // Stops watching and drops the watcher; nothing is delivered afterwards.
    void stopWatching();

    // The quiet time after the last file event before a batch goes out.
    static constexpr double watchDebounceInterval = 2.0;

    // The library entry of one index row.
    static ScannedTrack scannedTrack(const MediaDatabase::TrackRowBytes& row);

private:
    // A scan without its result: lists the folders, removes the rows of what
    // vanished and reads what is new or changed.
    void updateIndex(const QStringList& directories, const QStringList& keptDirectories,
                     const ProgressCallback& progress, std::stop_token stop, ScanTrigger trigger);
    // Every row as a library entry, in the library's order.
    static QList<ScannedTrack> libraryOf(MediaDatabase& database);

    const std::shared_ptr<MediaDatabase> m_database;
    const QSet<QString> m_supportedExtensions; // lower case, without "zip"
    const FileIndexer m_indexer;
    // Guards the pointer and the folder lists; the watcher is called outside the lock.
    std::mutex m_watcherMutex;
    std::shared_ptr<DirectoryWatcher> m_watcher; // absent while not watching
    QStringList m_foldersAway;                   // guarded by m_watcherMutex
    QStringList m_unreadableFolders;             // guarded by m_watcherMutex
    // The list allTracksFromDatabase() made last, and the database's write
    // count it was read at; guarded by its own mutex.
    struct Library {
        quint64 writeCount = 0;
        QList<ScannedTrack> tracks;
    };
    std::mutex m_libraryMutex;
    std::optional<Library> m_library;
};

} // namespace vessa
