// AppState: where the playlist files live, switching between the local and
// the cloud folder, and the watch of the cloud folder.

#include "Parvik/PlaylistLibrary.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/AppState.h"
#include "Vessa/App/Playlists/PlaylistDirectory.h"
#include "Vessa/App/Playlists/PlaylistMigrationError.h"
#include "Vessa/App/Playlists/UbiquitousFileWatcher.h"
#include "VessaCore/ExceptionDescription.h"

#include <QDir>
#include <QSettings>

#include <utility>

namespace vessa {

void AppState::setStorageLocation(LibraryStorageLocation location)
{
    if (location == m_storageLocation)
        return;
    m_storageLocation = location;
    emit storageLocationChanged();
    m_storageSwitcher->requestSwitch();
}

void AppState::setCloudContainerDirectory(const QString& folder)
{
    const QString cleaned = folder.isEmpty() ? folder : QDir::cleanPath(folder);
    if (cleaned == m_cloudContainerDirectory)
        return;
    m_cloudContainerDirectory = cleaned;
    emit cloudContainerDirectoryChanged();
    m_storageSwitcher->requestSwitch();
}

void AppState::restoreStoragePreferences()
{
    const LibraryStorageLocation location =
        libraryStorageLocationFromString(m_settings->value(libraryStorageLocationKey).toString())
            .value_or(LibraryStorageLocation::automatic);
    const QString cloudFolder = m_settings->value(PlaylistDirectory::cloudContainerDirectoryKey).toString();
    if (std::exchange(m_storageLocation, location) != location)
        emit storageLocationChanged();
    if (std::exchange(m_cloudContainerDirectory, cloudFolder) != cloudFolder)
        emit cloudContainerDirectoryChanged();
}

// The folder the preferences name as a switch starts; they are saved once
// the playlists are all there, so that a start after a crash never opens a
// folder that holds only some of them.
PlaylistStorageSwitcher::Target AppState::storageTarget()
{
    const LibraryStorageLocation location = m_storageLocation;
    const QString cloudFolder = m_cloudContainerDirectory;
    return {resolvePlaylistDirectory(location), [this, location, cloudFolder] {
                m_settings->setValue(libraryStorageLocationKey, toString(location));
                if (cloudFolder.isEmpty())
                    m_settings->remove(PlaylistDirectory::cloudContainerDirectoryKey);
                else
                    m_settings->setValue(PlaylistDirectory::cloudContainerDirectoryKey, cloudFolder);
            }};
}

QString AppState::resolvePlaylistDirectory(LibraryStorageLocation preference) const
{
    return PlaylistDirectory::resolve(preference, cloudContainerDirectory(), PlaylistDirectory::local());
}

bool AppState::isUsingiCloud() const
{
    return !PlaylistDirectory::isSame(resolvePlaylistDirectory(m_storageLocation), PlaylistDirectory::local());
}

void AppState::storageSwitched(const PlaylistStorageSwitcher::Switch& done)
{
    // The switcher has logged a failed copy and stayed in the old folder; so
    // do the preferences, unless the user has changed them again meanwhile.
    if (done.migrationError) {
        setScanError(done.migrationError);
        if (!m_storageSwitcher->isSwitching())
            restoreStoragePreferences();
        return;
    }
    if (!done.keptDiffering.isEmpty() || done.filledEmptyStarred)
        setScanError(std::make_exception_ptr(PlaylistMigrationError::keptDiffering(
            done.keptDiffering, done.to, done.from,
            done.filledEmptyStarred ? PlaylistMigrationError::StarredCopy::filledFromSource
                                    : PlaylistMigrationError::StarredCopy::asItWas)));
    setPlaylistLibrary(std::make_unique<PlaylistLibrary>(
        std::make_shared<LocalFolderDestination>(QStringLiteral("Library Playlists"), done.to)));
    try {
        m_playlistLibrary->load();
    } catch (...) {
        logError(lcApp(), QStringLiteral("Failed to load playlists after migration: ")
                              + describeException(std::current_exception()));
        setScanError(std::current_exception());
    }
    startICloudPlaylistWatching();
}

// Watches the library's folder while it is in the cloud folder: the sync
// client changes it from other machines.
void AppState::startICloudPlaylistWatching()
{
    m_iCloudPlaylistWatcher.reset();
    const QString folder = m_storageSwitcher->currentFolder();
    if (PlaylistDirectory::isSame(folder, PlaylistDirectory::local()))
        return;
    m_iCloudPlaylistWatcher = std::make_unique<UbiquitousFileWatcher>(QStringLiteral("parvik"), folder);
    m_iCloudPlaylistWatcher->start([this] { reloadPlaylistsFromiCloud(); });
}

void AppState::reloadPlaylistsFromiCloud()
{
    try {
        m_playlistLibrary->load();
        logInfo(lcApp(), QStringLiteral("Reloaded playlists from the cloud folder (%1 playlists)")
                             .arg(m_playlistLibrary->playlists().size()));
    } catch (...) {
        logError(lcApp(), QStringLiteral("Failed to reload playlists from the cloud folder: ")
                              + describeException(std::current_exception()));
    }
}

} // namespace vessa
