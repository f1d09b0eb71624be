#include "Vessa/Views/TrackTable/TrackStatusDelegate.h"

#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/Theme/VessaTheme.h"
#include "Vessa/Views/TrackTable/TrackTableModel.h"

#include <QApplication>
#include <QPainter>

namespace vessa {

TrackStatusDelegate::TrackStatusDelegate(const TrackTableModel& model, QObject* parent)
    : QStyledItemDelegate(parent), m_model(model)
{
}

void TrackStatusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem panel = option;
    initStyleOption(&panel, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &panel, painter, widget);

    if (index.row() < 0 || index.row() >= m_model.rowCount())
        return;
    const TrackRow row = m_model.row(index.row());
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    QString symbol;
    QColor color;
    if (row.isPlaying) {
        symbol = QStringLiteral("speaker.wave.2.fill");
        // On a selected row the accent is the row's own background.
        color = selected ? option.palette.color(QPalette::HighlightedText) : VessaTheme::accentColor(option.palette);
    } else if (row.isDownloadable) {
        symbol = QStringLiteral("icloud.and.arrow.down");
        color = VessaTheme::secondaryColor(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    } else {
        return;
    }
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap& pixmap = mark(symbol, color, ratio);
    QRectF target(0, 0, markSize, markSize);
    target.moveCenter(QRectF(option.rect).center());
    painter->drawPixmap(target, pixmap, QRectF(pixmap.rect()));
}

const QPixmap& TrackStatusDelegate::mark(const QString& symbol, const QColor& color, qreal devicePixelRatio) const
{
    const QString key = symbol % u'|' % QString::number(color.rgba(), 16) % u'|' % QString::number(devicePixelRatio);
    auto found = m_marks.find(key);
    if (found == m_marks.end())
        found = m_marks.insert(key, Icons::tinted(symbol, QSize(markSize, markSize), devicePixelRatio, color));
    return *found;
}

} // namespace vessa
