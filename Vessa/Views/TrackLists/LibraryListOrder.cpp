#include "Vessa/Views/TrackLists/LibraryListOrder.h"

#include "Vessa/Views/TrackLists/LibrarySelection.h"
#include "Vessa/Views/TrackLists/TrackListIndex.h"
#include "Vessa/Views/TrackLists/TrackListModel.h"
#include "VessaCore/FreedMemory.h"

namespace vessa {

LibraryListOrder::LibraryListOrder(std::optional<SidebarSource> source, QString searchText, QString sortKey,
                                   bool sortAscending)
    : m_source(std::move(source)),
      m_searchText(std::move(searchText)),
      m_sortKey(std::move(sortKey)),
      m_sortAscending(sortAscending)
{
}

QList<TrackRef> LibraryListOrder::queueFor(const QList<ScannedTrack>& library, std::stop_token stop) const
{
    const QList<ScannedTrack> listed = LibrarySelection::tracksFor(m_source, library);
    QList<TrackRef> queue;
    queue.reserve(listed.size());
    if (m_searchText.isEmpty() && m_sortKey == QLatin1String("index") && m_sortAscending) {
        // The list's own order needs none of the keys.
        for (const ScannedTrack& track : listed)
            queue.append(track.ref());
        return queue;
    }
    if (stop.stop_requested())
        return queue;
    {
        TrackListIndex index = TrackListModel::indexOf(listed);
        const QList<qsizetype> positions = index.sorted(index.filtered(m_searchText), m_sortKey, m_sortAscending);
        for (const qsizetype position : positions)
            queue.append(listed.at(position).ref());
    }
    // The keys of a large list go back to the system.
    FreedMemory::releaseAfter(listed.size());
    return queue;
}

} // namespace vessa
