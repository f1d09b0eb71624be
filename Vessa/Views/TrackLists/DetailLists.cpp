#include "Vessa/Views/TrackLists/DetailLists.h"

#include "Vessa/Views/TrackLists/PlaylistContentView.h"
#include "Vessa/Views/TrackLists/TrackListView.h"

namespace vessa {

DetailLists DetailLists::standard()
{
    DetailLists lists;
    lists.makeLibraryList = [](AppState& appState) -> LibraryDetailList* { return new TrackListView(appState); };
    lists.makePlaylistView = [](AppState& appState, const QString& name) -> PlaylistDetailView* {
        return new PlaylistContentView(appState, PlaylistStorage::library(name));
    };
    return lists;
}

} // namespace vessa
