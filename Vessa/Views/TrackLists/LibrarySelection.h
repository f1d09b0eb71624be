#pragma once

#include "Rasko/ScannedTrack.h"
#include "Vessa/Views/TrackLists/SidebarSource.h"
#include "VessaCore/TrackRef.h"

#include <QList>
#include <QString>

#include <optional>

namespace vessa {

// Which library tracks a sidebar selection lists, and where the selection
// goes when the now-playing bar reveals a track.
namespace LibrarySelection {

// True when `path` is the folder itself or lies below it: the folder's path
// followed by "/" starts it, so "Music/AB/x" is not under "Music/A" (the same
// rule the folder's track count follows).
bool isInFolder(const QString& path, const QString& folder);

// No selection and Local Files: every track; a folder: the tracks under it;
// Starred and playlists: none. Library order is kept.
QList<ScannedTrack> tracksFor(const std::optional<SidebarSource>& source, const QList<ScannedTrack>& tracks);

// The selection after revealing `ref`: unchanged when the selection lists a
// track with that reference, Local Files otherwise.
std::optional<SidebarSource> afterReveal(const std::optional<SidebarSource>& source, const QList<ScannedTrack>& tracks,
                                         const TrackRef& ref);

} // namespace LibrarySelection

} // namespace vessa
