#pragma once

#include <QList>
#include <QString>

namespace vessa {

class TrackListIndex;

// What a track list shows of its items and in which order: the filter text
// and the sort (a column's key and its direction). The library list and the
// playlist view each hold one. A queue played from either keeps the one of
// that double-click, so that later changes of the list's items reach the
// queue filtered and sorted as they were shown then, whatever the list
// shows meanwhile (LibraryListOrder, PlaylistQueue).
struct FilterAndSort {
    QString searchText;
    QString sortKey = QStringLiteral("index");
    bool sortAscending = true;

    bool isFiltered() const { return !searchText.isEmpty(); }
    // Any order but the items' own, ascending.
    bool isSorted() const { return sortKey != QLatin1String("index") || !sortAscending; }
    // Every item, in its own order.
    bool isStoredOrder() const { return !isFiltered() && !isSorted(); }
    // The positions of the items of `index` that are shown, in the order shown.
    QList<qsizetype> shownIn(TrackListIndex& index) const;

    bool operator==(const FilterAndSort&) const = default;
};

} // namespace vessa
