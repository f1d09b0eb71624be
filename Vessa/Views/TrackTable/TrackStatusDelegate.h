#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace vessa {

class TrackTableModel;

// Paints the first column's mark, centred in the cell: the speaker in the
// accent colour on the playing row, else the cloud on a row that can be
// downloaded, else nothing. Tinted icons are kept per colour and scale.
class TrackStatusDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TrackStatusDelegate(const TrackTableModel& model, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int markSize = 14;

private:
    const QPixmap& mark(const QString& symbol, const QColor& color, qreal devicePixelRatio) const;

    const TrackTableModel& m_model;
    mutable QHash<QString, QPixmap> m_marks;
};

} // namespace vessa
