#include "Vessa/Views/TrackLists/DetailLists.h"

#include "Vessa/Views/TrackLists/PlaylistContentView.h"
#include "Vessa/Views/TrackLists/TrackListView.h"

namespace vessa {

DetailLists DetailLists::standard()
{
    DetailLists lists;
    lists.makeLibraryList = [](const TrackListServices& services) -> LibraryDetailList* {
        return new TrackListView(services);
    };
    lists.makePlaylistView = [](const TrackListServices& services, const QString& name) -> PlaylistDetailView* {
        return new PlaylistContentView(services, PlaylistStorage::library(name));
    };
    return lists;
}

} // namespace vessa
