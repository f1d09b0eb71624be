#pragma once

#include "Vessa/Views/TrackTable/TrackContextMenuItem.h"

#include <QList>

class QMenu;

namespace vessa {

namespace TrackContextMenu {

// The rows a context menu acts on, in ascending order: the whole selection
// when the clicked row is part of a selection of two or more rows, else the
// clicked row alone. Nothing for a click outside the rows. Right-clicking
// never changes the selection.
QList<int> rowsToActOn(const QList<int>& selectedRows, int clickedRow, int rowCount);

// Appends the owner's items to `menu`: commands run their action when
// triggered, submenus nest to any depth, dividers become separators.
void populate(QMenu& menu, const QList<TrackContextMenuItem>& items);

} // namespace TrackContextMenu

} // namespace vessa
