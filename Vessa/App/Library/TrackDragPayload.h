#pragma once

#include "Parvik/PlaylistTrack.h"
#include "VessaCore/TrackRef.h"

#include <QLatin1String>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class QMimeData;

namespace vessa {

// Dragged track references: a JSON array of {"uri": ...} objects, in row order.
// An entry that knows its file adds the absolute file hint ("file:///...") as
// "fileHint"; readers of bare references see only "uri".
inline constexpr QLatin1String trackRefMimeType{"application/x-vessa-trackref+json"};
// Files dragged in from a file manager.
inline constexpr QLatin1String fileUrlMimeType{"text/uri-list"};

// What playlist drop targets accept, in order: track references, then files.
const QStringList& playlistDropTypes();

// The drag payload of `refs`, in their order; the caller (or the drag) owns it.
QMimeData* encodeTrackRefs(const QList<TrackRef>& refs);
// The same for playlist entries: each travels with its hint when that is
// absolute (other hints name no file away from their playlist file).
QMimeData* encodePlaylistTracks(const QList<PlaylistTrack>& tracks);

// The playlist entries a drop produces, in order. Track references (a JSON
// array, or a single object; malformed elements are skipped) become entries
// with the absolute hint they carry, else without a hint. When no reference
// decodes, the dropped local files whose lower-cased extension is in
// `supportedExtensions` (lower case, no dot) become entries titled by their
// file name without extension, hinted with the file's absolute file hint.
// Anything else is skipped: folders, dangling links and paths with nothing
// behind them too (each dropped file of a supported kind is looked up on
// the disk once); the list may be empty.
QList<PlaylistTrack> extractPlaylistTracks(const QMimeData& data, const QSet<QString>& supportedExtensions);
// Whether a drop of `data` would add anything: extractPlaylistTracks would
// not come back empty. A drag of folders, archives, text, dangling links or
// other files that no decoder plays is refused while it is under way.
bool hasPlaylistTracks(const QMimeData& data, const QSet<QString>& supportedExtensions);

} // namespace vessa
