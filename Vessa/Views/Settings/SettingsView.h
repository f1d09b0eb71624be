#pragma once

#include "Vessa/App/Library/LibraryScanProgress.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace vessa {

class AppState;
class BusyIndicator;
class CoalescedRefresh;
class LibraryStorageSection;
class MusicLibrary;
class PlaylistStoragePreferences;
class Updater;
class WatchedFolderRow;

// The content of the Settings window: one form with the sections "Updates"
// (whether the updater checks by itself), "Library Storage" (where playlist
// files live, and the cloud folder) and "Music Folders" (the folders the
// library scans, with Rescan and Add). It keeps no state: it shows the music
// library, the playlist storage preferences and the updater and writes every
// change straight back to them.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    // Asks for a folder; nothing when the user cancels.
    using FolderChooser = std::function<std::optional<QString>(QWidget* parent, const QString& message)>;

    static constexpr int minimumWidth = 300;
    static constexpr int minimumHeight = 300;

    // What the form changes besides the updater; all of it outlives the view.
    struct Services {
        MusicLibrary& musicLibrary;
        PlaylistStoragePreferences& storage;

        Services(MusicLibrary& musicLibrary, PlaylistStoragePreferences& storage)
            : musicLibrary(musicLibrary), storage(storage)
        {
        }
        // The app state's own.
        explicit Services(AppState& appState);
    };

    // `updater` must outlive the view. Without a chooser the desktop's
    // folder dialog asks.
    SettingsView(Services services, Updater& updater, FolderChooser chooseFolder = {}, QWidget* parent = nullptr);
    // With the app state's services.
    SettingsView(AppState& appState, Updater& updater, FolderChooser chooseFolder = {}, QWidget* parent = nullptr);
    ~SettingsView() override;

    // The desktop's folder dialog.
    static FolderChooser standardFolderChooser();

    // "Scanning 12/340..." while progress is known, else "Scanning...".
    static QString scanningText(const std::optional<LibraryScanProgress>& progress);
    // Rescan is possible while no scan runs and at least one folder is set.
    static bool canRescan(bool isScanning, qsizetype folderCount);

    QCheckBox* automaticChecksToggle() const { return m_automaticChecks; }
    LibraryStorageSection* storageSection() const { return m_storage; }
    QPushButton* rescanButton() const { return m_rescanButton; }
    QPushButton* addButton() const { return m_addButton; }
    QList<WatchedFolderRow*> folderRows() const;
    QLabel* emptyFoldersLabel() const { return m_emptyFolders; }
    // Shown only while a scan runs.
    QWidget* progressRow() const { return m_progressRow; }
    QLabel* progressLabel() const { return m_progressLabel; }

    // Asks for a folder, adds it and rescans (the Add button).
    void addFolder();

private:
    QWidget* makeUpdatesSection();
    QWidget* makeStorageSection();
    QWidget* makeFoldersSection();
    void showFolders();
    void showScanState();

    MusicLibrary& m_library;
    PlaylistStoragePreferences& m_storagePreferences;
    Updater& m_updater;
    FolderChooser m_chooseFolder;
    CoalescedRefresh* m_foldersRefresh;
    CoalescedRefresh* m_scanRefresh;

    QCheckBox* m_automaticChecks = nullptr;
    LibraryStorageSection* m_storage = nullptr;
    QPushButton* m_rescanButton = nullptr;
    QPushButton* m_addButton = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    QLabel* m_emptyFolders = nullptr;
    QWidget* m_progressRow = nullptr;
    QLabel* m_progressLabel = nullptr;
    BusyIndicator* m_progressIndicator = nullptr;
};

} // namespace vessa
