#pragma once

#include <QSet>
#include <QString>

namespace vessa {

// How a track table behaves. The columns and the drag settings are fixed when
// the table is built; the drop settings are read again at every drop.
struct TrackTableConfiguration {
    bool showTrackNumberColumn = false;         // adds the "#" column
    bool sortable = false;                      // header clicks are reported through onSortChanged
    bool reorderable = false;                   // rows may be dragged to a new place (onReorder)
    bool droppable = false;                     // track references and audio files may be dropped (onDrop)
    QSet<QString> supportedDropExtensions = {}; // lower case, without the dot
};

} // namespace vessa
