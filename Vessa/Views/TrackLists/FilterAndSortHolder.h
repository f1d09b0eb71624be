#pragma once

#include "Vessa/Views/TrackLists/FilterAndSort.h"

#include <QString>

#include <utility>

namespace vessa {

// The filter and sort of a track list model, with the accessors the library
// list and the playlist view share. Setting either hands the change to
// filterAndSortChanged(), where the model shows its items anew.
//
// Threads: main thread only.
class FilterAndSortHolder {
public:
    const FilterAndSort& filterAndSort() const { return m_filterAndSort; }
    const QString& searchText() const { return m_filterAndSort.searchText; }
    void setSearchText(const QString& text);
    const QString& sortKey() const { return m_filterAndSort.sortKey; }
    bool sortAscending() const { return m_filterAndSort.sortAscending; }
    void setSort(const QString& key, bool ascending);

protected:
    // How the "index" key sorts: both ways, or ascending only (a playlist's
    // stored order, whose header restores it).
    enum class IndexSort { eitherWay, ascendingOnly };
    enum class Change { filter, sort };

    explicit FilterAndSortHolder(IndexSort indexSort) : m_indexSort(indexSort) {}
    ~FilterAndSortHolder() = default;

    // Replaces the filter and sort without a change being handed on.
    void restoreFilterAndSort(FilterAndSort filterAndSort) { m_filterAndSort = std::move(filterAndSort); }
    virtual void filterAndSortChanged(Change change) = 0;

private:
    IndexSort m_indexSort;
    FilterAndSort m_filterAndSort;
};

} // namespace vessa
