#include "Vessa/Views/TrackTable/TrackCellDelegate.h"

#include <QApplication>

namespace vessa {

void TrackCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);

    // The content, inset, over the background just drawn: it draws none of
    // its own, and a selected cell keeps its highlighted text colour.
    if (cell.state.testFlag(QStyle::State_Selected)) {
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            cell.palette.setBrush(group, QPalette::Text, cell.palette.brush(group, QPalette::HighlightedText));
    }
    cell.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver);
    cell.backgroundBrush = QBrush();
    cell.rect = option.rect.marginsRemoved(padding);
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
}

QSize TrackCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QStyledItemDelegate::sizeHint(option, index).grownBy(padding);
}

} // namespace vessa
