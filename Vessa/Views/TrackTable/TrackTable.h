#pragma once

#include "Parvik/PlaylistTrack.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/TrackTable/TrackContextMenuItem.h"
#include "Vessa/Views/TrackTable/TrackDropDecision.h"
#include "Vessa/Views/TrackTable/TrackRow.h"
#include "Vessa/Views/TrackTable/TrackRowSource.h"
#include "Vessa/Views/TrackTable/TrackTableConfiguration.h"

#include <QWidget>

#include <functional>
#include <memory>

class QDropEvent;
class QMenu;
class QMimeData;

namespace vessa {

class TrackTableModel;
class TrackTableView;

// What a track table reports to its owner. Each is called on the main thread,
// synchronously, from the user's gesture; an empty one makes its gesture do
// nothing. Owner indexes are the rows' `index` values, display positions are
// row numbers in the order the owner gave.
struct TrackTableCallbacks {
    // A double click on a row: its owner index.
    std::function<void(qsizetype index)> onPlay = {};
    // Backspace or Delete with rows selected: their owner indexes, ascending, no repeats.
    std::function<void(const QList<qsizetype>& indexes)> onRemove = {};
    // Rows of this table dropped on it as a move: their display positions
    // (ascending) and the position, 0 up to the row count, they go before.
    std::function<void(const QList<int>& rows, int destination)> onReorder = {};
    // Tracks dropped on the table, in payload order, and the position they go before.
    std::function<void(const QList<PlaylistTrack>& tracks, int destination)> onDrop = {};
    // A click on a column header: the column's sort key and the new order.
    std::function<void(const QString& key, Qt::SortOrder order)> onSortChanged = {};
    // The context menu over `rows`, asked for each time the menu opens.
    std::function<QList<TrackContextMenuItem>(const TrackRows& rows)> contextMenuItems = {};
};

// Every list of tracks in the program is shown by this table. It is a display
// and gesture surface only: it shows the rows it is given, in that order, and
// reports what the user did through TrackTableCallbacks; the owner changes
// its own data and hands back new rows. It never sorts, filters or edits.
//
// The selection is a set of row ids, kept in both directions: the user's
// changes are announced by selectionChanged(), and setSelectedIds() and every
// setRows() select the rows with those ids (scrolling the first into view when
// that changed the table's selection) without announcing it back. So a
// selected track stays selected when the owner re-sorts or filters.
//
// Rows handed over from inside one of the table's own callbacks are applied
// once that gesture's handler has returned (see ViewConventions.h).
class TrackTable : public QWidget {
    Q_OBJECT
public:
    explicit TrackTable(TrackTableConfiguration configuration, QWidget* parent = nullptr);
    ~TrackTable() override;

    // The rows now shown, in display order (made on first use after a
    // change when they come from a row source).
    const TrackRows& rows() const;
    void setRows(TrackRows rows);
    // Rows made when the table asks for them; handled as setRows().
    void setRowSource(TrackRowSourcePtr source);

    const TrackTableConfiguration& configuration() const { return m_configuration; }
    // Takes the drop settings; the columns and drag settings stay as built.
    void setConfiguration(const TrackTableConfiguration& configuration);

    void setCallbacks(TrackTableCallbacks callbacks);
    // The owner is back in its natural order of its own accord: no header
    // shows an arrow until the next click, as in a new table.
    void clearSortIndicator();

    const TrackSelection& selectedIds() const { return m_selectedIds; }
    void setSelectedIds(TrackSelection ids);

    TrackTableView* view() const { return m_view; }
    TrackTableModel* model() const { return m_model; }

    // The gestures, as the view reports them.
    void handleDoubleClick(int row);
    void handleDelete();
    void handleHeaderClick(int column, Qt::SortOrder order);
    // The menu for a right click on `row` (-1: outside the rows), or none
    // when there is nothing to offer. The caller shows and owns it.
    std::unique_ptr<QMenu> contextMenuForRow(int row);
    // The rows a drag starting now carries: the selected ones, ascending.
    QList<int> rowsToDrag() const;
    // The payload (each row's reference, with its file hint) and drag picture for those rows.
    QMimeData* dragPayload(const QList<int>& rows) const;
    QPixmap dragPicture(int row) const;
    void setDraggedRows(QList<int> rows) { m_draggedRows = std::move(rows); }
    const QList<int>& draggedRows() const { return m_draggedRows; }
    // Judges a drag over the table (or a surface standing in for it, see
    // takeDropsOn): sets the event's action and accepts it, or refuses it.
    TrackDropDecision::Operation judgeDrop(QDropEvent& event) const;
    // Carries out a drop already judged as `operation`; false refuses it.
    bool handleDrop(const QMimeData& data, TrackDropDecision::Operation operation, int destination);
    // `surface` (shown by the owner instead of the table) takes exactly the
    // drops the table takes, as if dropped below the last row.
    void takeDropsOn(QWidget* surface);
    // Lays the Title, Artist and Album columns out over the free width.
    void fitFlexibleColumns();

signals:
    // The user changed the selection: the ids of the selected rows.
    void selectionChanged(const vessa::TrackSelection& ids);

protected:
    // The drag events of the surfaces given to takeDropsOn().
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class GestureScope;

    void applyRows(TrackRowSourcePtr rows);
    void syncSelectionToView();
    void announceSelection();
    QList<int> selectedRowNumbers() const;
    // `rows` without those at or beyond the row count.
    QList<int> existingRows(QList<int> rows) const;
    void selectRowNumbers(const QList<int>& rows);
    void setUpColumns();
    void clampColumn(int column, int newSize);

    TrackTableConfiguration m_configuration;
    TrackTableCallbacks m_callbacks;
    TrackSelection m_selectedIds;
    TrackTableModel* m_model;
    TrackTableView* m_view;
    QList<int> m_draggedRows;
    // What judgeDrop() read from the drag it last saw enter.
    mutable const QMimeData* m_judgedDrag = nullptr;
    mutable TrackDropDecision::Payload m_judgedPayload = TrackDropDecision::Payload::NothingToAdd;
    bool m_isSyncingSelection = false;
    int m_gestureDepth = 0;
    std::optional<TrackRowSourcePtr> m_pendingRows;
    CoalescedRefresh* m_applyPendingRows;
};

} // namespace vessa
