#include "Vessa/Views/TrackTable/TrackContextMenuItem.h"

namespace vessa {

TrackContextMenuItem TrackContextMenuItem::button(QString title, std::optional<QString> systemImage,
                                                  std::optional<ButtonRole> role, std::function<void()> action)
{
    TrackContextMenuItem item(Kind::Button);
    item.m_title = std::move(title);
    item.m_systemImage = std::move(systemImage);
    item.m_role = role;
    item.m_action = std::move(action);
    return item;
}

TrackContextMenuItem TrackContextMenuItem::submenu(QString title, std::optional<QString> systemImage,
                                                   QList<TrackContextMenuItem> items)
{
    TrackContextMenuItem item(Kind::Submenu);
    item.m_title = std::move(title);
    item.m_systemImage = std::move(systemImage);
    item.m_items = std::move(items);
    return item;
}

TrackContextMenuItem TrackContextMenuItem::divider()
{
    return TrackContextMenuItem(Kind::Divider);
}

} // namespace vessa
