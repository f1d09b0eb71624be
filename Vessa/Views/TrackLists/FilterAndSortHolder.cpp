#include "Vessa/Views/TrackLists/FilterAndSortHolder.h"

namespace vessa {

void FilterAndSortHolder::setSearchText(const QString& text)
{
    m_filterAndSort.searchText = text;
    filterAndSortChanged(Change::filter);
}

void FilterAndSortHolder::setSort(const QString& key, bool ascending)
{
    m_filterAndSort.sortKey = key;
    m_filterAndSort.sortAscending =
        ascending || (m_indexSort == IndexSort::ascendingOnly && key == QLatin1String("index"));
    filterAndSortChanged(Change::sort);
}

} // namespace vessa
