#include "Vessa/Views/TrackTable/TrackRowsChange.h"

namespace vessa {

namespace {

bool shownAlike(const TrackRow& a, const TrackRow& b)
{
    return a.id == b.id && a.ref == b.ref && a.isPlaying == b.isPlaying && a.isResolvable == b.isResolvable
           && a.isDownloadable == b.isDownloadable;
}

} // namespace

TrackRowsChange TrackRowsChange::between(const TrackRows& old, const TrackRows& next)
{
    if (old.size() != next.size())
        return {Kind::Reset};
    TrackRowsChange change;
    for (qsizetype row = 0; row < old.size(); ++row) {
        if (shownAlike(old[row], next[row]))
            continue;
        if (change.kind == Kind::None) {
            change.kind = Kind::Refresh;
            change.firstRow = row;
        }
        change.lastRow = row;
    }
    return change;
}

} // namespace vessa
