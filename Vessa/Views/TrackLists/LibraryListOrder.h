#pragma once

#include "Vessa/App/Library/LibraryQueueOrder.h"
#include "Vessa/Views/TrackLists/FilterAndSort.h"
#include "Vessa/Views/TrackLists/SidebarSource.h"

#include <QString>

#include <optional>

namespace vessa {

// The order of the library list as it was when a queue was played from it:
// the part of the library it showed (a music folder, or all of it), the
// filter text and the sort. A new library gives the tracks the list would
// show for it, in the list's order (TrackListIndex), so that the queue
// follows library changes without running on into tracks the list did not show.
class LibraryListOrder : public LibraryQueueOrder {
public:
    LibraryListOrder(std::optional<SidebarSource> source, FilterAndSort shown);

    QList<TrackRef> queueFor(const QList<ScannedTrack>& library, std::stop_token stop) const override;

private:
    std::optional<SidebarSource> m_source;
    FilterAndSort m_shown;
};

} // namespace vessa
