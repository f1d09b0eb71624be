#pragma once

#include "Rasko/PluginRegistry.h"
#include "Rasko/ScannedTrack.h"
#include "Rasko/TrackResolver.h"
#include "Vessa/App/Library/LibraryScanProgress.h"
#include "Vessa/App/Library/MusicLibrary.h"
#include "Vessa/App/Playlists/PlaylistStoragePreferences.h"
#include "Vessa/App/Playlists/PlaylistStorageSwitcher.h"
#include "Vessa/App/System/ScanErrorState.h"
#include "VessaCore/GenerationWorker.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <memory>
#include <optional>

class QSettings;

namespace vessa {

class AVAudioEngineOutput;
class EqualizerState;
class LocalFileSourcePlugin;
class MediaDatabase;
class MediaDatabaseWatch;
class NowPlayingBridge;
class PlayContext;
class Player;
class PlaylistLibrary;
class PlaylistQueue;
class QuitSignalHandler;
class SleepWatcher;
class TrackAvailabilityIndex;
class UbiquitousFileWatcher;
class VolumeState;

// The application's composition root: builds, owns and wires the playback
// engine, the library and the system services. The windows are given the
// objects it owns, each view those it uses, never the state itself.
// Behaviour lives in the objects it owns: the music folders and the scanned
// library are the MusicLibrary's (whose members it forwards), the last
// failure the ScanErrorState's and the storage choice the
// PlaylistStoragePreferences' (callers use those two directly); switching
// the playlist storage is in AppStatePlaylistStorage.cpp.
//
// Threads: main thread only. Background work (library jobs, pointing the
// folder watcher) runs in the owned workers and comes back as signals.
class AppState : public QObject {
    Q_OBJECT

public:
    // The database file below the generic data folder.
    static constexpr QLatin1String databaseFolderName{"Tornwick"};
    static constexpr QLatin1String databaseFileName{"media.db"};
    static constexpr QLatin1String libraryStorageLocationKey = PlaylistStoragePreferences::libraryStorageLocationKey;
    static constexpr QLatin1String startupNoticeKey = ScanErrorState::startupNoticeKey;
    // Where the media database being set aside goes, and which file that is
    // (MediaDatabaseSetAside::storedForm()), from the moment the move is
    // decided (with its notice) until it is done: a run cut off in between
    // leaves the move to the next start, which finishes it first for that
    // same file only. Whatever else the key holds is dropped, and a move that
    // cannot be made is told once, the database used where it is.
    static constexpr QLatin1String setAsideKey{"mediaDatabaseSetAside"};
    // How long the sound fades before the application quits.
    static constexpr double quitFadeSeconds = 0.15;

    // Either the state or the text of the error that prevented it.
    struct Creation {
        std::unique_ptr<AppState> appState;
        QString error;
    };

    // Opens the media database at <GenericDataLocation>/Tornwick/media.db
    // first: when that fails, nothing else is built or started and the
    // database's error text comes back. A file there that is damaged or was
    // written by a newer version is set aside, kept, and replaced by a new
    // one (MediaDatabaseSetAside); the user is told through scanError, at
    // every start until the notice has been dismissed. Reading every page of
    // the file takes a while on a large library, so that part of the check
    // runs in the background once the state is made, and a file it refuses
    // is set aside and told then. A quit stops that check at once and leaves
    // the file where it is, to be checked at the next start.
    // `settings` defaults to QSettings("Tornwick", "Vessa").
    static Creation create(std::unique_ptr<QSettings> settings = nullptr);
    ~AppState() override;

    static QString databasePath();

    // ---- what the state owns

    QSettings& settings() const { return *m_settings; }
    PluginRegistry& pluginRegistry() const { return *m_pluginRegistry; }
    AVAudioEngineOutput& audioOutput() const { return *m_audioOutput; }
    Player& player() const { return *m_player; }
    const TrackResolverPtr& trackResolver() const { return m_trackResolver; }
    PlayContext& playContext() const { return *m_playContext; }
    LocalFileSourcePlugin& localFileSource() const { return *m_localFileSource; }
    // The output volume the bar and the desktop's controls set.
    VolumeState& volumeState() const { return *m_volumeState; }
    NowPlayingBridge& nowPlayingBridge() const { return *m_nowPlayingBridge; }
    EqualizerState& equalizerState() const { return *m_equalizerState; }
    // The music folders, their scans and the published library.
    MusicLibrary& musicLibrary() const { return *m_musicLibrary; }
    MusicFolderWatcher& folderWatcher() const { return m_musicLibrary->folderWatcher(); }
    // Which references can be played; its "localFiles" set follows scannedTracks.
    TrackAvailabilityIndex& availabilityIndex() const { return *m_availabilityIndex; }
    // The last failure of background work (scanError).
    ScanErrorState& scanErrors() const { return *m_scanErrors; }
    // Where the user wants the playlist files (see "playlist storage" below).
    PlaylistStoragePreferences& storagePreferences() const { return *m_storagePreferences; }

    // ---- observable fields

    // Replaced when the playlist storage changes; never null.
    PlaylistLibrary& playlistLibrary() const { return *m_playlistLibrary; }
    void setPlaylistLibrary(std::unique_ptr<PlaylistLibrary> library);
    // Plays a playlist's shown entries and keeps the queue following its edits.
    PlaylistQueue& playlistQueue() const { return *m_playlistQueue; }

    // The music library's fields (see MusicLibrary), with its signals.
    const QStringList& watchedDirectories() const { return m_musicLibrary->watchedDirectories(); }
    void setWatchedDirectories(const QStringList& folders) { m_musicLibrary->setWatchedDirectories(folders); }
    bool isScanning() const { return m_musicLibrary->isScanning(); }
    const std::optional<LibraryScanProgress>& scanProgress() const { return m_musicLibrary->scanProgress(); }
    const QList<ScannedTrack>& scannedTracks() const { return m_musicLibrary->scannedTracks(); }

    // ---- music folders and scanning (see MusicLibrary)

    void addWatchedDirectory(const QString& folder) { m_musicLibrary->addWatchedDirectory(folder); }
    void removeWatchedDirectory(const QString& folder) { m_musicLibrary->removeWatchedDirectory(folder); }
    // A scan that starts clears scanError, unless it still holds the start-up notice.
    void rescanAll(ScanTrigger trigger = ScanTrigger::automatic) { m_musicLibrary->rescanAll(trigger); }
    void reloadTracksFromDatabase() { m_musicLibrary->reloadTracksFromDatabase(); }
    qint64 trackCount(const QString& folder) const { return m_musicLibrary->trackCount(folder); }
    std::optional<QString> folderProblem(const QString& folder) const { return m_musicLibrary->folderProblem(folder); }

    // Writes the current track, shuffle and repeat under "playbackState".
    void savePlaybackState();

    // ---- playlist storage

    // The preferences (storagePreferences()) say where the playlist files
    // live: the storage location ("libraryStorageLocation") and the cloud
    // folder the user chose ("cloudContainerDirectory"). Choosing another
    // one switches the storage when the playlist folder changes with it: the
    // playlist files are copied into the new folder (names already there are
    // kept, but an empty Starred takes the old folder's; scanError names the
    // kept ones whose two versions differ and where the other one lies), the
    // library is replaced by one over that folder and loaded, and the cloud
    // folder's watcher restarts. The choice is saved only once every
    // playlist is in its folder: a copy that fails is shown in scanError and
    // undoes the change; after a switch cut off by a crash, the next start
    // is in the old folder and removes the temporary file the copy left.
    // Switches run one after the other; the setters return at once.

    // True while a storage switch runs or waits.
    bool isSwitchingStorage() const { return m_storageSwitcher->isSwitching(); }

signals:
    void playlistLibraryChanged();
    void watchedDirectoriesChanged();
    void isScanningChanged();
    void scanProgressChanged();
    void scannedTracksChanged();

private:
    AppState(std::unique_ptr<QSettings> settings, std::shared_ptr<MediaDatabase> database);

    // The output, the player, the decoders, the library source over the
    // database, the resolver and the play queue.
    void buildPlaybackEngine();
    void loadPlaylists();
    void pauseForSleep();
    void prepareToQuit();

    // The end of the database's page check: the notice of a file it set
    // aside is told.
    void databaseChecked(const std::optional<QString>& notice, std::exception_ptr error);

    // AppStatePlaylistStorage.cpp
    PlaylistStorageSwitcher::Target storageTarget();
    void storageSwitched(const PlaylistStorageSwitcher::Switch& done);
    void startICloudPlaylistWatching();
    void reloadPlaylistsFromiCloud();

    // In construction order; destroyed in reverse.
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<ScanErrorState> m_scanErrors;
    std::unique_ptr<PlaylistStoragePreferences> m_storagePreferences;
    std::shared_ptr<MediaDatabase> m_database;
    // Notices a file put in the database's place at once; goes after the
    // library's jobs, so that a look it runs need not wait for them.
    std::unique_ptr<MediaDatabaseWatch> m_databaseWatch;
    std::unique_ptr<TrackAvailabilityIndex> m_availabilityIndex;
    std::unique_ptr<AVAudioEngineOutput> m_audioOutput;
    std::unique_ptr<Player> m_player;
    PluginRegistryPtr m_pluginRegistry;
    std::shared_ptr<LocalFileSourcePlugin> m_localFileSource;
    TrackResolverPtr m_trackResolver;
    std::unique_ptr<PlayContext> m_playContext;
    std::unique_ptr<VolumeState> m_volumeState;
    std::unique_ptr<NowPlayingBridge> m_nowPlayingBridge;
    std::unique_ptr<EqualizerState> m_equalizerState;
    std::unique_ptr<PlaylistLibrary> m_playlistLibrary;
    std::unique_ptr<PlaylistStorageSwitcher> m_storageSwitcher;
    std::unique_ptr<PlaylistQueue> m_playlistQueue;
    std::unique_ptr<MusicLibrary> m_musicLibrary;
    std::unique_ptr<SleepWatcher> m_sleepWatcher;
    std::unique_ptr<QuitSignalHandler> m_quitSignalHandler;
    // Present only while the library's folder is in the cloud folder.
    std::unique_ptr<UbiquitousFileWatcher> m_iCloudPlaylistWatcher;

    // Reads the database's pages once, in the background; stopped and
    // joined first when the state goes.
    GenerationWorker m_databaseCheck{this};
};

} // namespace vessa
