// AppState: where the playlist files live, switching between the local and
// the cloud folder, and the watch of the cloud folder.

#include "Parvik/PlaylistLibrary.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/AppState.h"
#include "Vessa/App/PlaylistDirectory.h"
#include "Vessa/App/PlaylistMigrationError.h"
#include "Vessa/App/UbiquitousFileWatcher.h"
#include "VessaCore/ExceptionDescription.h"

#include <QDir>
#include <QSettings>

namespace vessa {

void AppState::setStorageLocation(LibraryStorageLocation location)
{
    if (location == m_storageLocation)
        return;
    m_storageLocation = location;
    m_settings->setValue(libraryStorageLocationKey, toString(location));
    emit storageLocationChanged();
    m_storageSwitcher->requestSwitch();
}

QString AppState::cloudContainerDirectory() const
{
    return m_settings->value(PlaylistDirectory::cloudContainerDirectoryKey).toString();
}

void AppState::setCloudContainerDirectory(const QString& folder)
{
    const QString cleaned = folder.isEmpty() ? folder : QDir::cleanPath(folder);
    if (cleaned == cloudContainerDirectory())
        return;
    if (cleaned.isEmpty())
        m_settings->remove(PlaylistDirectory::cloudContainerDirectoryKey);
    else
        m_settings->setValue(PlaylistDirectory::cloudContainerDirectoryKey, cleaned);
    emit cloudContainerDirectoryChanged();
    m_storageSwitcher->requestSwitch();
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
    // The switcher has logged a failed copy; the files copied so far are in place.
    if (done.migrationError)
        setScanError(done.migrationError);
    else if (!done.keptDiffering.isEmpty())
        setScanError(
            std::make_exception_ptr(PlaylistMigrationError::keptDiffering(done.keptDiffering, done.to, done.from)));
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
