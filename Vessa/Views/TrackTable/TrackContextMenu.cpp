#include "Vessa/Views/TrackTable/TrackContextMenu.h"

#include "Vessa/Views/Theme/Icons.h"

#include <QMenu>

#include <algorithm>

namespace vessa::TrackContextMenu {

QList<int> rowsToActOn(const QList<int>& selectedRows, int clickedRow, int rowCount)
{
    if (clickedRow < 0 || clickedRow >= rowCount)
        return {};
    if (selectedRows.size() < 2 || !selectedRows.contains(clickedRow))
        return {clickedRow};
    QList<int> rows;
    for (int row : selectedRows) {
        if (row >= 0 && row < rowCount)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void populate(QMenu& menu, const QList<TrackContextMenuItem>& items)
{
    for (const TrackContextMenuItem& item : items) {
        switch (item.kind()) {
        case TrackContextMenuItem::Kind::Divider: menu.addSeparator(); break;
        case TrackContextMenuItem::Kind::Submenu: {
            QMenu* submenu = menu.addMenu(item.title());
            if (item.systemImage())
                submenu->setIcon(Icons::icon(*item.systemImage()));
            populate(*submenu, item.items());
            break;
        }
        case TrackContextMenuItem::Kind::Button: {
            QAction* action = menu.addAction(item.title());
            if (item.systemImage())
                action->setIcon(Icons::icon(*item.systemImage()));
            if (item.action())
                QObject::connect(action, &QAction::triggered, &menu, [run = item.action()] { run(); });
            break;
        }
        }
    }
}

} // namespace vessa::TrackContextMenu
