#pragma once

#include "Vessa/Views/TrackLists/FileRevealer.h"
#include "Vessa/Views/TrackLists/TrackListServices.h"
#include "Vessa/Views/TrackTable/TrackContextMenuItem.h"
#include "Vessa/Views/TrackTable/TrackRow.h"

#include <QList>

#include <optional>

namespace vessa {

// The context-menu entries the library list and the playlist view share.
// Counts are written in decimal digits; the library's star, unstar and save
// failures, and a file manager that cannot be opened, are shown through
// TrackListServices::showError (the main window's "Error" alert).
namespace TrackListMenus {

QList<TrackRef> refsOf(const TrackRows& rows);
// The rows' file paths (their userInfo), in row order, rows without one skipped.
QStringList filePathsOf(const TrackRows& rows);

// "Play".
TrackContextMenuItem playItem(std::function<void()> action);
// "Add to Queue" / "Add N to Queue": appends the rows' tracks without hints.
TrackContextMenuItem addToQueueItem(const TrackListServices& services, const TrackRows& rows);
// "Star" / "Unstar" / "Star N Tracks" / "Unstar N Tracks": unstar when every
// row's track is starred now, else star; one track after the other.
TrackContextMenuItem starItem(const TrackListServices& services, const TrackRows& rows);
// "Add to Playlist" / "Add N to Playlist" with one entry per playlist other
// than Starred, each appending the rows' tracks to the playlist as it is now;
// nothing when Starred is the only playlist.
std::optional<TrackContextMenuItem> addToPlaylistItem(const TrackListServices& services, const TrackRows& rows);
// "Show in File Manager" / "Show M in File Manager" over the rows' files;
// nothing when no row has one.
std::optional<TrackContextMenuItem> revealItem(const TrackListServices& services, const FileRevealerPtr& revealer,
                                               const TrackRows& rows);

// The rows' menu as both lists begin it: Play (running `play`), Add to
// Queue; with `libraryItems`, a divider, the star item and Add to Playlist;
// then a divider and the reveal item when a row has a file.
QList<TrackContextMenuItem> trackItems(const TrackListServices& services, const FileRevealerPtr& revealer,
                                       const TrackRows& rows, std::function<void()> play, bool libraryItems);

} // namespace TrackListMenus

} // namespace vessa
