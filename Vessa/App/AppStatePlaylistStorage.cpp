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

#include <QSettings>

#include <utility>

namespace vessa {

// The folder the preferences name as a switch starts; they are saved once
// the playlists are all there, so that a start after a crash never opens a
// folder that holds only some of them.
PlaylistStorageSwitcher::Target AppState::storageTarget()
{
    return {m_storagePreferences->resolvePlaylistDirectory(m_storagePreferences->storageLocation()),
            m_storagePreferences->saveChoice()};
}

void AppState::storageSwitched(const PlaylistStorageSwitcher::Switch& done)
{
    // The switcher has logged a failed copy and stayed in the old folder; so
    // do the preferences, unless the user has changed them again meanwhile.
    if (done.migrationError) {
        m_scanErrors->setScanError(done.migrationError);
        if (!m_storageSwitcher->isSwitching())
            m_storagePreferences->restore();
        return;
    }
    if (!done.keptDiffering.isEmpty() || done.filledEmptyStarred)
        m_scanErrors->setScanError(std::make_exception_ptr(PlaylistMigrationError::keptDiffering(
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
        m_scanErrors->setScanError(std::current_exception());
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
