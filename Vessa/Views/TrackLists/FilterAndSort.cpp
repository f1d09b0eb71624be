#include "Vessa/Views/TrackLists/FilterAndSort.h"

#include "Vessa/Views/TrackLists/TrackListIndex.h"

namespace vessa {

QList<qsizetype> FilterAndSort::shownIn(TrackListIndex& index) const
{
    return index.sorted(index.filtered(searchText), sortKey, sortAscending);
}

} // namespace vessa
