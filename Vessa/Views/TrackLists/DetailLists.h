#pragma once

#include "Rasko/ScannedTrack.h"
#include "Vessa/Views/TrackLists/SidebarSource.h"
#include "Vessa/Views/TrackLists/TrackListServices.h"
#include "VessaCore/TrackRef.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace vessa {

// The library list as the main window's detail pane drives it: made once,
// handed the selected tracks and the sidebar choice they come from at every
// change, asked to reveal a track.
// `widget()` is the list itself, which the pane shows and owns.
class LibraryDetailList {
public:
    virtual ~LibraryDetailList() = default;
    virtual QWidget* widget() = 0;
    virtual void setScannedTracks(const QList<ScannedTrack>& tracks, const std::optional<SidebarSource>& source) = 0;
    virtual void revealTrack(const TrackRef& track) = 0;
};

// The playlist view as the detail pane drives it: made once, then pointed at
// the selected library playlist. `widget()` is the view, owned by the pane.
class PlaylistDetailView {
public:
    virtual ~PlaylistDetailView() = default;
    virtual QWidget* widget() = 0;
    // Each time a playlist is selected: it shows as in a new view (stored
    // order, no filter), whatever was chosen for the one shown before.
    virtual void showLibraryPlaylist(const QString& name) = 0;
};

// How the detail pane makes the lists it shows. standard() builds the
// program's own lists; tests hand in light stand-ins.
struct DetailLists {
    std::function<LibraryDetailList*(const TrackListServices& services)> makeLibraryList;
    std::function<PlaylistDetailView*(const TrackListServices& services, const QString& playlistName)> makePlaylistView;

    static DetailLists standard();
};

} // namespace vessa
