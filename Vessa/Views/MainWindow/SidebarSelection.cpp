#include "Vessa/Views/MainWindow/SidebarSelection.h"

namespace vessa {

void SidebarSelection::setSource(const std::optional<SidebarSource>& source)
{
    if (source == m_source)
        return;
    m_source = source;
    emit sourceChanged();
}

} // namespace vessa
