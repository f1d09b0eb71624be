#include "Vessa/Views/TrackLists/LibraryListOrder.h"

#include "Vessa/Views/TrackLists/LibrarySelection.h"
#include "Vessa/Views/TrackLists/TrackListIndex.h"
#include "Vessa/Views/TrackLists/TrackListModel.h"
#include "VessaCore/FreedMemory.h"

namespace vessa {

LibraryListOrder::LibraryListOrder(std::optional<SidebarSource> source, FilterAndSort shown)
    : m_source(std::move(source)), m_shown(std::move(shown))
{
}

QList<TrackRef> LibraryListOrder::queueFor(const QList<ScannedTrack>& library, std::stop_token stop) const
{
    const QList<ScannedTrack> listed = LibrarySelection::tracksFor(m_source, library);
    QList<TrackRef> queue;
    queue.reserve(listed.size());
    if (m_shown.isStoredOrder()) {
        // The list's own order needs none of the keys.
        for (const ScannedTrack& track : listed)
            queue.append(track.ref());
        return queue;
    }
    if (stop.stop_requested())
        return queue;
    {
        TrackListIndex index = TrackListModel::indexOf(listed);
        const QList<qsizetype> positions = m_shown.shownIn(index);
        for (const qsizetype position : positions)
            queue.append(listed.at(position).ref());
    }
    // The keys of a large list go back to the system.
    FreedMemory::releaseAfter(listed.size());
    return queue;
}

} // namespace vessa
