#pragma once

#include "Vessa/Views/TrackTable/TrackTableConfiguration.h"

#include <QRect>

namespace vessa {

// The decisions behind a drop on the track table, free of any drag in
// progress so they can be checked on their own.
namespace TrackDropDecision {

enum class Operation { None, Move, Copy };
// Where the dragged rows come from.
enum class Origin { ThisTable, Elsewhere };
// Ctrl held while dragging forces a copy, even within one table.
enum class Copying { AsProposed, Forced };

// What the drag carries: entries it can add (track references, files of a
// supported type), or nothing (folders, archives, text, other files).
enum class Payload { Tracks, NothingToAdd };

// Rows of this very table dragged within it move when it is reorderable and
// no copy is forced; anything else is copied when the table is droppable.
// A table that is neither reorderable nor droppable takes nothing, and no
// table takes a drag with nothing to add: it is refused while under way.
Operation operation(const TrackTableConfiguration& configuration, Origin origin, Copying copying, Payload payload);

// The display position before which dropped rows go: a drop always falls
// between rows. The upper half of a row means before it, the lower half
// after it, and below the last row (rowUnderPointer < 0) the end.
int destinationRow(int rowUnderPointer, const QRect& rowRect, int pointerY, int rowCount);

} // namespace TrackDropDecision

} // namespace vessa
