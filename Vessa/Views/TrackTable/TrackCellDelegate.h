#pragma once

#include <QMargins>
#include <QStyledItemDelegate>

namespace vessa {

// Paints the table's text cells with the cell spacing inside them: 8 across
// and 4 down between neighbouring cells, as half of each on every side. The
// row's selection still fills the whole cell, so a selected row stays one
// unbroken band.
class TrackCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr QMargins padding{4, 2, 4, 2};

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace vessa
