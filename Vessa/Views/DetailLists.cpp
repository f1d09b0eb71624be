#include "Vessa/Views/DetailLists.h"

#include <QLabel>

namespace vessa {

// The lists are plugged in here once they are built; until then the pane
// names what it would show.
DetailLists DetailLists::standard()
{
    DetailLists lists;
    lists.makeLibraryList = [](AppState&) -> QWidget* { return new QLabel; };
    lists.showLibraryTracks = [](QWidget* list, const QList<ScannedTrack>& tracks) {
        static_cast<QLabel*>(list)->setText(QStringLiteral("%1 tracks").arg(tracks.size()));
    };
    lists.revealTrack = [](QWidget*, const TrackRef&) {};
    lists.makePlaylistView = [](AppState&, const QString& name) -> QWidget* { return new QLabel(name); };
    lists.showPlaylist = [](QWidget* view, const QString& name) { static_cast<QLabel*>(view)->setText(name); };
    return lists;
}

} // namespace vessa
