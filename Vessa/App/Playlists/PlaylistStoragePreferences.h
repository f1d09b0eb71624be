#pragma once

#include "Vessa/App/Playlists/LibraryStorageLocation.h"

#include <QLatin1String>
#include <QObject>
#include <QString>

#include <functional>

class QSettings;

namespace vessa {

// Where the user wants the playlist files: the storage location
// ("libraryStorageLocation") and the cloud folder ("cloudContainerDirectory"),
// as chosen in the Settings window. A choice the user makes asks for a
// switch of the storage (switchRequested()), which the app state's storage
// switcher carries out; the choice is saved only once every playlist is in
// its folder (saveChoice()), so that a start after a crash never opens a
// folder that holds only some of them.
//
// Threads: main thread only.
class PlaylistStoragePreferences : public QObject {
    Q_OBJECT

public:
    static constexpr QLatin1String libraryStorageLocationKey{"libraryStorageLocation"};

    // Takes the saved choice; `settings` must outlive it.
    explicit PlaylistStoragePreferences(QSettings& settings, QObject* parent = nullptr);

    LibraryStorageLocation storageLocation() const { return m_storageLocation; }
    void setStorageLocation(LibraryStorageLocation location);
    // Empty when none was chosen; kept cleaned.
    const QString& cloudContainerDirectory() const { return m_cloudContainerDirectory; }
    void setCloudContainerDirectory(const QString& folder);

    // The playlist folder of a preference with the cloud folder as it is now.
    // Falling back from "icloud" to the local folder, when the chosen cloud
    // folder is not available, logs an error each time.
    QString resolvePlaylistDirectory(LibraryStorageLocation preference) const;
    // True when the current preference's playlist folder is in the cloud
    // folder (resolved afresh at each call).
    bool isUsingiCloud() const;

    // Takes the choice as saved again (a switch failed), telling the views
    // of a change; asks for no switch.
    void restore();
    // Saves the choice as it is now, when called.
    std::function<void()> saveChoice() const;

signals:
    void storageLocationChanged();
    void cloudContainerDirectoryChanged();
    // The user's choice changed: the playlist folder may have to move.
    void switchRequested();

private:
    QSettings& m_settings;
    LibraryStorageLocation m_storageLocation = LibraryStorageLocation::automatic;
    QString m_cloudContainerDirectory;
};

} // namespace vessa
