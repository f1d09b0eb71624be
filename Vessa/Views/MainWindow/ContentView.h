#pragma once

#include "Vessa/Views/MainWindow/SidebarView.h"
#include "Vessa/Views/TrackLists/DetailLists.h"
#include "VessaCore/TrackRef.h"

#include <QMainWindow>

#include <optional>

class QAction;
class QSettings;
class QShortcut;
class QSplitter;
class QStackedWidget;

namespace vessa {

class AppState;
class CoalescedRefresh;
class EmptyLibraryView;
class ErrorAlert;
class MusicLibrary;
class NowPlayingView;
class PlayContext;
class PlaylistOperations;
class PlaylistQueue;
class PluginRegistry;
class ScanErrorState;
class ScanningStateView;
class SidebarSelection;
class VolumeState;

// The main window: the sidebar beside the detail pane, which shows the
// selected list (the library, a music folder's tracks, Starred or a user
// playlist; or the scanning or empty state) above the now-playing bar.
//
// - The title names the playlist shown ("Mix — Vessa"), else it is "Vessa".
// - The "Error" alert is up while scanError is set (once the window is on
//   the screen); any dismissal clears it, the user's "OK" acknowledges it
//   (see ScanErrorState::acknowledgeScanError), a new error updates the box
//   already shown.
// - Every time the window is shown (not a spontaneous show of the window
//   system), the library is reloaded from the database when it is empty and
//   all music folders are rescanned.
// - Space toggles play and pause, unless a text field has the focus.
// - The "Equalizer" toolbar action asks for the equalizer window.
class ContentView : public QMainWindow {
    Q_OBJECT
public:
    // What the window and the views in it use; the app state owns all of it
    // and outlives the window.
    struct Services {
        MusicLibrary& musicLibrary;
        PlayContext& playContext;
        VolumeState& volume;
        // The current playlist library.
        PlaylistQueue& playlists;
        PluginRegistry& pluginRegistry;
        QSettings& settings;
        // The "Error" alert's failure.
        ScanErrorState& errors;
        // What the detail pane's track lists are made from (DetailLists).
        TrackListServices trackLists;

        // The app state's own.
        explicit Services(AppState& appState);
    };

    explicit ContentView(Services services, DetailLists lists = DetailLists::standard(), QWidget* parent = nullptr);
    // With the app state's services.
    explicit ContentView(AppState& appState, DetailLists lists = DetailLists::standard(), QWidget* parent = nullptr);
    ~ContentView() override;

    // The "New Playlist" command: a new playlist named inline in the sidebar.
    void createNewPlaylistInline();
    // The now-playing bar's reveal: selects Local Files unless the selection
    // lists the track, then has the library list select and show it.
    void revealTrack(const TrackRef& track);

    SidebarView* sidebar() const { return m_sidebar; }
    SidebarSelection& selection() const { return *m_selection; }
    PlaylistOperations& playlistOperations() const { return *m_operations; }
    NowPlayingView* nowPlaying() const { return m_nowPlaying; }
    QStackedWidget* detailPages() const { return m_pages; }
    ScanningStateView* scanningState() const { return m_scanningState; }
    EmptyLibraryView* emptyState() const { return m_emptyState; }
    // Made when first shown.
    QWidget* libraryList() const { return m_libraryList ? m_libraryList->widget() : nullptr; }
    QWidget* playlistView() const { return m_playlistView ? m_playlistView->widget() : nullptr; }
    ErrorAlert* errorAlert() const { return m_alert; }
    QAction* equalizerAction() const { return m_equalizerAction; }
    // The tracks the selection lists.
    QList<ScannedTrack> tracksForSelection() const;

signals:
    void equalizerRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeDetail();
    void refreshDetail();
    void showScanError();
    void togglePlayback();

    Services m_services;
    DetailLists m_lists;
    SidebarSelection* m_selection;
    PlaylistOperations* m_operations;
    SidebarView* m_sidebar;
    QStackedWidget* m_pages = nullptr;
    ScanningStateView* m_scanningState = nullptr;
    EmptyLibraryView* m_emptyState = nullptr;
    LibraryDetailList* m_libraryList = nullptr;
    PlaylistDetailView* m_playlistView = nullptr;
    NowPlayingView* m_nowPlaying = nullptr;
    ErrorAlert* m_alert;
    QAction* m_equalizerAction;
    QShortcut* m_spaceShortcut;
    CoalescedRefresh* m_refreshDetail;
    // The library list is handed tracks only after the library or the
    // selection changed; the playlist view is pointed at a playlist only
    // when it is selected (none: no playlist is shown).
    bool m_libraryListIsStale = true;
    std::optional<QString> m_shownPlaylist;
};

} // namespace vessa
