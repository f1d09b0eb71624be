#include "Vessa/Views/TrackTable/TrackRowsChange.h"

#include "Vessa/Views/TrackTable/TrackRowSource.h"

namespace vessa {

namespace {

bool shownAlike(const TrackRow& a, const TrackRow& b)
{
    return a.id == b.id && a.ref == b.ref && a.isPlaying == b.isPlaying && a.isResolvable == b.isResolvable
           && a.isDownloadable == b.isDownloadable;
}

// The change between two lists of `size` rows each, read through the two accessors.
template <typename Old, typename Next>
TrackRowsChange differingRows(qsizetype size, const Old& oldRow, const Next& nextRow)
{
    TrackRowsChange change;
    for (qsizetype row = 0; row < size; ++row) {
        if (shownAlike(oldRow(row), nextRow(row)))
            continue;
        if (change.kind == TrackRowsChange::Kind::None) {
            change.kind = TrackRowsChange::Kind::Refresh;
            change.firstRow = row;
        }
        change.lastRow = row;
    }
    return change;
}

} // namespace

TrackRowsChange TrackRowsChange::between(const TrackRows& old, const TrackRows& next)
{
    if (old.size() != next.size())
        return {Kind::Reset};
    return differingRows(
        old.size(), [&](qsizetype row) -> const TrackRow& { return old[row]; },
        [&](qsizetype row) -> const TrackRow& { return next[row]; });
}

TrackRowsChange TrackRowsChange::between(const TrackRowSource& old, const TrackRowSource& next)
{
    if (old.size() != next.size())
        return {Kind::Reset};
    if (const std::optional<TrackRowsChange> change = next.changeFrom(old))
        return *change;
    return differingRows(
        old.size(), [&](qsizetype row) { return old.row(row); }, [&](qsizetype row) { return next.row(row); });
}

} // namespace vessa
