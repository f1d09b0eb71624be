#pragma once

#include "Vessa/Views/TrackTable/TrackRow.h"

namespace vessa {

class TrackRowSource;

// What the table must redraw when its owner hands it new rows. A new row
// count resets the table without comparing rows; otherwise only the
// identity, the track and the three marks of a row count, so an update that
// changes nothing else (a new selection, other texts) redraws nothing.
struct TrackRowsChange {
    enum class Kind { None, Refresh, Reset };

    Kind kind = Kind::None;
    // For Refresh: the first and last row that differ (same row count).
    qsizetype firstRow = 0;
    qsizetype lastRow = -1;

    static TrackRowsChange between(const TrackRows& old, const TrackRows& next);
    // As the source says, or else row by row.
    static TrackRowsChange between(const TrackRowSource& old, const TrackRowSource& next);
};

} // namespace vessa
