#include "Vessa/Views/DetailLists.h"

#include "Vessa/Views/PlaylistContentView.h"
#include "Vessa/Views/TrackListView.h"

namespace vessa {

DetailLists DetailLists::standard()
{
    DetailLists lists;
    lists.makeLibraryList = [](AppState& appState) -> QWidget* { return new TrackListView(appState); };
    lists.showLibraryTracks = [](QWidget* list, const QList<ScannedTrack>& tracks) {
        static_cast<TrackListView*>(list)->setScannedTracks(tracks);
    };
    lists.revealTrack = [](QWidget* list, const TrackRef& track) {
        static_cast<TrackListView*>(list)->revealTrack(track);
    };
    lists.makePlaylistView = [](AppState& appState, const QString& name) -> QWidget* {
        return new PlaylistContentView(appState, PlaylistStorage::library(name));
    };
    lists.showPlaylist = [](QWidget* view, const QString& name) {
        static_cast<PlaylistContentView*>(view)->setStorage(PlaylistStorage::library(name));
    };
    return lists;
}

} // namespace vessa
