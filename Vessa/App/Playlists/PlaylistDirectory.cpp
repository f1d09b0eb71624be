#include "Vessa/App/Playlists/PlaylistDirectory.h"

#include "Vessa/App/AppLogging.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vessa::PlaylistDirectory {

QString local()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/Tornwick/playlists");
}

std::optional<QString> cloud(const QString& cloudContainerDirectory)
{
    // A relative path would name a different folder for every working folder.
    if (cloudContainerDirectory.isEmpty() || !QDir::isAbsolutePath(cloudContainerDirectory))
        return std::nullopt;
    const QString container = QDir::cleanPath(cloudContainerDirectory);
    if (!QFileInfo(container).isDir())
        return std::nullopt;
    return QDir(container).filePath(QStringLiteral("playlists"));
}

QString resolve(LibraryStorageLocation preference, const QString& cloudContainerDirectory,
                const QString& localDirectory)
{
    if (preference == LibraryStorageLocation::local)
        return localDirectory;
    if (const std::optional<QString> directory = cloud(cloudContainerDirectory))
        return *directory;
    // Only a chosen folder can be unavailable. With none chosen yet (the
    // user picks the location before the folder) nothing failed.
    if (preference == LibraryStorageLocation::icloud && !cloudContainerDirectory.isEmpty())
        logError(lcApp(), QStringLiteral("Cloud folder requested but unavailable, falling back to local storage"));
    return localDirectory;
}

bool isSame(const QString& first, const QString& second)
{
    return QDir::cleanPath(first) == QDir::cleanPath(second);
}

} // namespace vessa::PlaylistDirectory
