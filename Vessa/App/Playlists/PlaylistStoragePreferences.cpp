#include "Vessa/App/Playlists/PlaylistStoragePreferences.h"

#include "Vessa/App/Playlists/PlaylistDirectory.h"

#include <QDir>
#include <QSettings>

#include <utility>

namespace vessa {

PlaylistStoragePreferences::PlaylistStoragePreferences(QSettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
    restore();
}

void PlaylistStoragePreferences::setStorageLocation(LibraryStorageLocation location)
{
    if (location == m_storageLocation)
        return;
    m_storageLocation = location;
    emit storageLocationChanged();
    emit switchRequested();
}

void PlaylistStoragePreferences::setCloudContainerDirectory(const QString& folder)
{
    const QString cleaned = folder.isEmpty() ? folder : QDir::cleanPath(folder);
    if (cleaned == m_cloudContainerDirectory)
        return;
    m_cloudContainerDirectory = cleaned;
    emit cloudContainerDirectoryChanged();
    emit switchRequested();
}

QString PlaylistStoragePreferences::resolvePlaylistDirectory(LibraryStorageLocation preference) const
{
    return PlaylistDirectory::resolve(preference, m_cloudContainerDirectory, PlaylistDirectory::local());
}

bool PlaylistStoragePreferences::isUsingiCloud() const
{
    return !PlaylistDirectory::isSame(resolvePlaylistDirectory(m_storageLocation), PlaylistDirectory::local());
}

void PlaylistStoragePreferences::restore()
{
    const LibraryStorageLocation location =
        libraryStorageLocationFromString(m_settings.value(libraryStorageLocationKey).toString())
            .value_or(LibraryStorageLocation::automatic);
    const QString cloudFolder = m_settings.value(PlaylistDirectory::cloudContainerDirectoryKey).toString();
    if (std::exchange(m_storageLocation, location) != location)
        emit storageLocationChanged();
    if (std::exchange(m_cloudContainerDirectory, cloudFolder) != cloudFolder)
        emit cloudContainerDirectoryChanged();
}

std::function<void()> PlaylistStoragePreferences::saveChoice() const
{
    return [&settings = m_settings, location = m_storageLocation, cloudFolder = m_cloudContainerDirectory] {
        settings.setValue(libraryStorageLocationKey, toString(location));
        if (cloudFolder.isEmpty())
            settings.remove(PlaylistDirectory::cloudContainerDirectoryKey);
        else
            settings.setValue(PlaylistDirectory::cloudContainerDirectoryKey, cloudFolder);
    };
}

} // namespace vessa
