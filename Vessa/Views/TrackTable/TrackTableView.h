#pragma once

#include <QTableView>

namespace vessa {

class TrackTable;

// The Qt table behind TrackTable. It turns input into the table's gestures
// and hands each to its TrackTable, which decides and calls the owner:
// Backspace and Delete remove, a plain Space is left to the window, typing
// searches the Title column, a right click opens the menu without touching
// the selection, drags carry the selected rows, and drops fall between rows.
class TrackTableView : public QTableView {
    Q_OBJECT
public:
    explicit TrackTableView(TrackTable& table);

    // The display position a drop at `point` (viewport coordinates) goes before.
    int dropDestinationAt(const QPoint& point) const;
    // The row a drop would land before, while a drag is over the table; -1 otherwise.
    int dropIndicatorRow() const { return m_dropIndicatorRow; }

    // Settles the layout after the rows were replaced and puts the scroll
    // position back where it was.
    void restoreScrollPosition(int verticalValue);

    void keyboardSearch(const QString& search) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Validates a drag over the table: sets its action and accepts or refuses it.
    void judgeDrag(QDropEvent* event);
    void setDropIndicatorRow(int row);

    TrackTable& m_table;
    int m_dropIndicatorRow = -1;
};

} // namespace vessa
