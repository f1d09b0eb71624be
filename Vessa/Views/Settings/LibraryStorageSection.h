#pragma once

#include "Vessa/App/Playlists/LibraryStorageLocation.h"
#include "Vessa/Views/Settings/SettingsView.h"

#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace vessa {

class CoalescedRefresh;
class ElidedLabel;
class PlaylistStoragePreferences;

// The "Library Storage" rows of the Settings window: the "Storage" picker
// (Automatic, Cloud Folder, On This Device), the cloud folder with the
// button that chooses it ("cloudContainerDirectory"), and the footer that
// says where the playlists are.
class LibraryStorageSection : public QWidget {
    Q_OBJECT
public:
    // `preferences` must outlive the section.
    LibraryStorageSection(PlaylistStoragePreferences& preferences, SettingsView::FolderChooser chooseFolder,
                          QWidget* parent = nullptr);

    // The picker's label for a storage location.
    static QString label(LibraryStorageLocation location);
    // The footer for a location and whether its playlist folder is in the cloud
    // folder.
    static QString footer(LibraryStorageLocation location, bool isUsingCloudFolder);

    QComboBox* picker() const { return m_picker; }
    ElidedLabel* cloudFolderLabel() const { return m_cloudFolder; }
    QPushButton* chooseCloudFolderButton() const { return m_chooseButton; }
    // Made here and kept current; the owner places it.
    QLabel* footerLabel() const { return m_footer; }

    // Asks for the cloud folder and uses it (the Choose button).
    void chooseCloudFolder();

private:
    void showState();

    PlaylistStoragePreferences& m_preferences;
    SettingsView::FolderChooser m_chooseFolder;
    CoalescedRefresh* m_refresh;
    QComboBox* m_picker;
    ElidedLabel* m_cloudFolder;
    QPushButton* m_chooseButton;
    QLabel* m_footer;
};

} // namespace vessa
