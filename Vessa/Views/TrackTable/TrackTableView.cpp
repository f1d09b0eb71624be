#include "Vessa/Views/TrackTable/TrackTableView.h"

#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableModel.h"

#include <QDrag>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

namespace vessa {

TrackTableView::TrackTableView(TrackTable& table) : QTableView(&table), m_table(table)
{
}

void TrackTableView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        m_table.handleDelete();
        event->accept();
        return;
    case Qt::Key_Space:
        // A plain Space belongs to the window (play and pause).
        if (event->modifiers() == Qt::NoModifier) {
            event->ignore();
            return;
        }
        break;
    default: break;
    }
    QTableView::keyPressEvent(event);
}

void TrackTableView::keyboardSearch(const QString& search)
{
    // Type-to-select looks in the column of the current index: make that
    // the Title column, without touching the selection.
    const auto* trackModel = qobject_cast<const TrackTableModel*>(model());
    if (trackModel && trackModel->rowCount() > 0) {
        const int titleColumn = trackModel->columnOf(TrackTableColumn::Kind::Title);
        const QModelIndex current = currentIndex();
        if (current.column() != titleColumn) {
            const int row = current.isValid() ? current.row() : 0;
            selectionModel()->setCurrentIndex(trackModel->index(row, titleColumn), QItemSelectionModel::NoUpdate);
        }
    }
    QTableView::keyboardSearch(search);
}

void TrackTableView::mousePressEvent(QMouseEvent* event)
{
    // A right click opens the menu and leaves the selection alone.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void TrackTableView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

void TrackTableView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    // Header and the empty area below the rows have no row: nothing plays.
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mouseDoubleClickEvent(event);
    if (index.isValid())
        m_table.handleDoubleClick(index.row());
}

void TrackTableView::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = event->reason() == QContextMenuEvent::Mouse ? rowAt(event->pos().y()) : currentIndex().row();
    std::unique_ptr<QMenu> menu = m_table.contextMenuForRow(row);
    event->accept();
    if (!menu)
        return;
    QMenu* shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(event->globalPos());
}

void TrackTableView::startDrag(Qt::DropActions)
{
    const QList<int> rows = m_table.rowsToDrag();
    if (rows.isEmpty())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(m_table.dragPayload(rows));
    const QPixmap picture = m_table.dragPicture(rows.first());
    if (!picture.isNull()) {
        drag->setPixmap(picture);
        drag->setHotSpot(QPoint(12, int(picture.height() / picture.devicePixelRatio() / 2)));
    }
    const TrackTableConfiguration& configuration = m_table.configuration();
    const Qt::DropActions actions = configuration.reorderable || configuration.droppable
                                        ? Qt::CopyAction | Qt::MoveAction
                                        : Qt::DropActions(Qt::CopyAction);
    m_table.setDraggedRows(rows);
    drag->exec(actions, Qt::CopyAction);
    m_table.setDraggedRows({});
}

void TrackTableView::judgeDrag(QDropEvent* event)
{
    const bool accepted = m_table.judgeDrop(*event) != TrackDropDecision::Operation::None;
    setDropIndicatorRow(accepted ? dropDestinationAt(event->position().toPoint()) : -1);
}

int TrackTableView::dropDestinationAt(const QPoint& point) const
{
    const int row = rowAt(point.y());
    const QRect rect = row >= 0 ? visualRect(model()->index(row, 0)) : QRect();
    return TrackDropDecision::destinationRow(row, rect, point.y(), model()->rowCount());
}

void TrackTableView::dragEnterEvent(QDragEnterEvent* event)
{
    // The base class only sets the dragging state; the decision is ours.
    QTableView::dragEnterEvent(event);
    judgeDrag(event);
}

void TrackTableView::dragMoveEvent(QDragMoveEvent* event)
{
    // The base class scrolls near the edges; the decision is ours.
    QTableView::dragMoveEvent(event);
    judgeDrag(event);
}

void TrackTableView::dragLeaveEvent(QDragLeaveEvent* event)
{
    QTableView::dragLeaveEvent(event);
    setDropIndicatorRow(-1);
}

void TrackTableView::dropEvent(QDropEvent* event)
{
    judgeDrag(event);
    const bool judgedAcceptable = event->isAccepted();
    const Qt::DropAction action = event->dropAction();
    const int destination = dropDestinationAt(event->position().toPoint());
    stopAutoScroll();
    setState(NoState);
    setDropIndicatorRow(-1);
    if (!judgedAcceptable || !event->mimeData()) {
        event->ignore();
        return;
    }
    using Operation = TrackDropDecision::Operation;
    const Operation operation = action == Qt::MoveAction ? Operation::Move : Operation::Copy;
    if (m_table.handleDrop(*event->mimeData(), operation, destination)) {
        event->setDropAction(action);
        event->accept();
    } else {
        event->ignore();
    }
}

void TrackTableView::setDropIndicatorRow(int row)
{
    if (row == m_dropIndicatorRow)
        return;
    m_dropIndicatorRow = row;
    viewport()->update();
}

void TrackTableView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (m_dropIndicatorRow < 0)
        return;
    const int rows = model()->rowCount();
    int y = 0;
    if (rows > 0) {
        y = m_dropIndicatorRow < rows ? rowViewportPosition(m_dropIndicatorRow)
                                      : rowViewportPosition(rows - 1) + rowHeight(rows - 1) - 1;
    }
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
}

void TrackTableView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    m_table.fitFlexibleColumns();
}

void TrackTableView::restoreScrollPosition(int verticalValue)
{
    executeDelayedItemsLayout();
    updateGeometries();
    verticalScrollBar()->setValue(verticalValue);
}

void TrackTableView::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::StyleChange) {
        if (auto* trackModel = qobject_cast<TrackTableModel*>(model()))
            trackModel->setStyle(TrackTableStyle(palette(), font()));
    }
}

} // namespace vessa
