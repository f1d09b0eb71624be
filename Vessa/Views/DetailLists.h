#pragma once

#include "Rasko/ScannedTrack.h"
#include "VessaCore/TrackRef.h"

#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace vessa {

class AppState;

// How the main window's detail pane makes and feeds the lists it shows: the
// library list (made once, handed the selected tracks at every change, asked
// to reveal a track) and the playlist view (made once, pointed at the
// selected library playlist). standard() builds the program's own lists;
// tests hand in light stand-ins.
struct DetailLists {
    std::function<QWidget*(AppState& appState)> makeLibraryList;
    std::function<void(QWidget* list, const QList<ScannedTrack>& tracks)> showLibraryTracks;
    std::function<void(QWidget* list, const TrackRef& track)> revealTrack;
    std::function<QWidget*(AppState& appState, const QString& playlistName)> makePlaylistView;
    std::function<void(QWidget* view, const QString& playlistName)> showPlaylist;

    static DetailLists standard();
};

} // namespace vessa
