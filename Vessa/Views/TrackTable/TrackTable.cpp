#include "Vessa/Views/TrackTable/TrackTable.h"

#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/Views/Shared/DragPreview.h"
#include "Vessa/Views/TrackTable/TrackCellDelegate.h"
#include "Vessa/Views/TrackTable/TrackContextMenu.h"
#include "Vessa/Views/TrackTable/TrackStatusDelegate.h"
#include "Vessa/Views/TrackTable/TrackTableModel.h"
#include "Vessa/Views/TrackTable/TrackTableStyle.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QVBoxLayout>

#include <algorithm>

namespace vessa {

namespace {

constexpr int rowHeight = 24;

// The columns, the "#" one at least as wide as a disc-track number ("2-05",
// also of a disc beyond 9) needs in the table's digit font, so that it shows
// unelided whatever the desktop's font.
QList<TrackTableColumn> fittedToFont(QList<TrackTableColumn> columns, const QWidget& table)
{
    for (TrackTableColumn& column : columns) {
        if (column.kind != TrackTableColumn::Kind::TrackNumber || !column.width)
            continue;
        QStyleOptionViewItem cell;
        cell.initFrom(&table);
        cell.font = TrackTableStyle::monospacedDigitFont(table.font());
        cell.fontMetrics = QFontMetrics(cell.font);
        cell.features = QStyleOptionViewItem::HasDisplay;
        cell.text = QStringLiteral("00-00");
        const QMargins padding = TrackCellDelegate::padding;
        const int needed = table.style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), &table).width()
                           + padding.left() + padding.right();
        column.width = std::max(*column.width, needed);
        if (column.maximumWidth)
            column.maximumWidth = std::max(*column.maximumWidth, *column.width);
    }
    return columns;
}

} // namespace

// Marks the time inside one of the table's own gesture handlers, during
// which new rows are held back (see setRows).
class TrackTable::GestureScope {
public:
    explicit GestureScope(TrackTable& table) : m_table(table) { ++m_table.m_gestureDepth; }
    ~GestureScope() { --m_table.m_gestureDepth; }
    GestureScope(const GestureScope&) = delete;
    GestureScope& operator=(const GestureScope&) = delete;

private:
    TrackTable& m_table;
};

TrackTable::TrackTable(TrackTableConfiguration configuration, QWidget* parent)
    : QWidget(parent),
      m_configuration(std::move(configuration)),
      m_model(new TrackTableModel(fittedToFont(TrackTableColumn::columns(m_configuration.showTrackNumberColumn), *this),
                                  this)),
      m_view(new TrackTableView(*this)),
      m_applyPendingRows(new CoalescedRefresh(
          [this] {
              if (m_pendingRows)
                  applyRows(*std::exchange(m_pendingRows, std::nullopt));
          },
          this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    m_view->setModel(m_model);
    m_view->setItemDelegate(new TrackCellDelegate(m_view));
    m_view->setItemDelegateForColumn(m_model->columnOf(TrackTableColumn::Kind::Playing),
                                     new TrackStatusDelegate(*m_model, m_view));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setShowGrid(false);
    m_view->setWordWrap(false);
    m_view->setTextElideMode(Qt::ElideRight);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_view->verticalHeader()->setMinimumSectionSize(rowHeight);
    // The window's own background shows through the table.
    QPalette palette = m_view->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    m_view->setPalette(palette);
    m_view->viewport()->setAutoFillBackground(false);

    // Rows can always be dragged out (to the sidebar's playlists); they can
    // be dropped in only on a table that reorders or takes drops.
    const bool acceptsDrops = m_configuration.reorderable || m_configuration.droppable;
    m_view->setDragEnabled(true);
    m_view->setAcceptDrops(acceptsDrops);
    m_view->setDragDropMode(acceptsDrops ? QAbstractItemView::DragDrop : QAbstractItemView::DragOnly);
    m_view->setDragDropOverwriteMode(false);
    m_view->setDropIndicatorShown(false);
    m_view->setDefaultDropAction(Qt::CopyAction);

    setUpColumns();

    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TrackTable::announceSelection);
}

TrackTable::~TrackTable() = default;

void TrackTable::setUpColumns()
{
    QHeaderView* header = m_view->horizontalHeader();
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);
    header->setSectionResizeMode(QHeaderView::Interactive);
    // No indicator until the first header click; the owners start in their
    // natural order and never push it into the table.
    clearSortIndicator();
    header->setSectionsClickable(m_configuration.sortable);
    const QList<TrackTableColumn>& columns = m_model->columns();
    for (qsizetype column = 0; column < columns.size(); ++column) {
        if (columns[column].width)
            header->resizeSection(int(column), *columns[column].width);
    }
    connect(header, &QHeaderView::sectionResized, this,
            [this](int column, int, int newSize) { clampColumn(column, newSize); });
    connect(header, &QHeaderView::sectionClicked, this,
            [this, header](int column) { handleHeaderClick(column, header->sortIndicatorOrder()); });
    fitFlexibleColumns();
}

void TrackTable::clampColumn(int column, int newSize)
{
    if (column < 0 || column >= m_model->columns().size())
        return;
    const int clamped = m_model->columns()[column].clampedWidth(newSize);
    if (clamped != newSize)
        m_view->horizontalHeader()->resizeSection(column, clamped);
}

void TrackTable::fitFlexibleColumns()
{
    QHeaderView* header = m_view->horizontalHeader();
    const QList<TrackTableColumn>& columns = m_model->columns();
    int available = m_view->viewport()->width();
    int flexibleTotal = 0;
    QList<int> flexible;
    for (qsizetype column = 0; column < columns.size(); ++column) {
        if (columns[column].isFlexible()) {
            flexible.append(int(column));
            flexibleTotal += header->sectionSize(int(column));
        } else {
            available -= header->sectionSize(int(column));
        }
    }
    if (flexible.isEmpty())
        return;
    // Keep the user's proportions between the flexible columns.
    int remaining = available;
    for (qsizetype i = 0; i < flexible.size(); ++i) {
        const int column = flexible[i];
        const bool last = i == flexible.size() - 1;
        const int share = flexibleTotal > 0 ? available * header->sectionSize(column) / flexibleTotal
                                            : available / int(flexible.size());
        header->resizeSection(column, columns[column].clampedWidth(last ? remaining : share));
        remaining -= header->sectionSize(column);
    }
}

const TrackRows& TrackTable::rows() const
{
    return m_model->rows();
}

void TrackTable::setRows(TrackRows rows)
{
    setRowSource(std::make_shared<TrackRowList>(std::move(rows)));
}

void TrackTable::setRowSource(TrackRowSourcePtr source)
{
    if (m_gestureDepth > 0) {
        m_pendingRows = std::move(source);
        m_applyPendingRows->request();
        return;
    }
    m_pendingRows.reset();
    applyRows(std::move(source));
}

void TrackTable::applyRows(TrackRowSourcePtr rows)
{
    m_isSyncingSelection = true;
    const QList<int> oldSelection = selectedRowNumbers();
    const QModelIndex oldCurrent = m_view->currentIndex();
    const int oldScroll = m_view->verticalScrollBar()->value();
    if (m_model->setRowSource(std::move(rows)) == TrackRowsChange::Kind::Reset) {
        // A reset forgets the view's selection, current row and scroll
        // position; put them back so that a reload alone changes nothing the
        // user sees.
        QList<int> kept;
        for (int row : oldSelection) {
            if (row < m_model->rowCount())
                kept.append(row);
        }
        selectRowNumbers(kept);
        if (oldCurrent.isValid() && oldCurrent.row() < m_model->rowCount()) {
            m_view->selectionModel()->setCurrentIndex(m_model->index(oldCurrent.row(), oldCurrent.column()),
                                                      QItemSelectionModel::NoUpdate);
        }
        m_view->restoreScrollPosition(oldScroll);
    }
    m_isSyncingSelection = false;
    syncSelectionToView();
}

void TrackTable::setConfiguration(const TrackTableConfiguration& configuration)
{
    m_configuration.sortable = configuration.sortable;
    m_configuration.reorderable = configuration.reorderable;
    m_configuration.droppable = configuration.droppable;
    m_configuration.supportedDropExtensions = configuration.supportedDropExtensions;
}

void TrackTable::setCallbacks(TrackTableCallbacks callbacks)
{
    m_callbacks = std::move(callbacks);
}

void TrackTable::clearSortIndicator()
{
    QHeaderView* header = m_view->horizontalHeader();
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setSortIndicatorShown(false);
}

void TrackTable::setSelectedIds(TrackSelection ids)
{
    m_selectedIds = std::move(ids);
    syncSelectionToView();
}

QList<int> TrackTable::selectedRowNumbers() const
{
    QList<int> rows;
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TrackTable::selectRowNumbers(const QList<int>& rows)
{
    QItemSelection selection;
    const int lastColumn = m_model->columnCount() - 1;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i;
        while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1)
            ++end;
        selection.select(m_model->index(rows[i], 0), m_model->index(rows[end], lastColumn));
        i = end + 1;
    }
    m_view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TrackTable::syncSelectionToView()
{
    m_isSyncingSelection = true;
    QList<int> wanted;
    if (!m_selectedIds.isEmpty()) {
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (m_selectedIds.contains(m_model->id(row)))
                wanted.append(row);
        }
    }
    if (wanted != selectedRowNumbers()) {
        selectRowNumbers(wanted);
        if (!wanted.isEmpty()) {
            const QModelIndex first =
                m_model->index(wanted.first(), m_view->currentIndex().isValid() ? m_view->currentIndex().column() : 0);
            m_view->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
            m_view->scrollTo(first);
        }
    }
    m_isSyncingSelection = false;
}

void TrackTable::announceSelection()
{
    if (m_isSyncingSelection)
        return;
    TrackSelection ids;
    for (int row : selectedRowNumbers()) {
        if (row < m_model->rowCount())
            ids.insert(m_model->id(row));
    }
    m_selectedIds = ids;
    emit selectionChanged(ids);
}

void TrackTable::handleDoubleClick(int row)
{
    if (row < 0 || row >= m_model->rowCount() || !m_callbacks.onPlay)
        return;
    GestureScope scope(*this);
    m_callbacks.onPlay(m_model->row(row).index);
}

void TrackTable::handleDelete()
{
    if (!m_callbacks.onRemove)
        return;
    const QList<int> selected = selectedRowNumbers();
    if (selected.isEmpty() || selected.last() >= m_model->rowCount())
        return;
    QList<qsizetype> indexes;
    indexes.reserve(selected.size());
    for (int row : selected)
        indexes.append(m_model->row(row).index);
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    GestureScope scope(*this);
    m_callbacks.onRemove(indexes);
}

void TrackTable::handleHeaderClick(int column, Qt::SortOrder order)
{
    if (!m_configuration.sortable || column < 0 || column >= m_model->columns().size())
        return;
    m_view->horizontalHeader()->setSortIndicatorShown(true);
    if (!m_callbacks.onSortChanged)
        return;
    GestureScope scope(*this);
    m_callbacks.onSortChanged(m_model->columns()[column].sortKey, order);
}

std::unique_ptr<QMenu> TrackTable::contextMenuForRow(int row)
{
    const QList<int> rows = TrackContextMenu::rowsToActOn(selectedRowNumbers(), row, m_model->rowCount());
    if (rows.isEmpty() || !m_callbacks.contextMenuItems)
        return nullptr;
    TrackRows actedOn;
    actedOn.reserve(rows.size());
    for (int r : rows)
        actedOn.append(m_model->row(r));
    GestureScope scope(*this);
    auto menu = std::make_unique<QMenu>(this);
    TrackContextMenu::populate(*menu, m_callbacks.contextMenuItems(actedOn));
    if (menu->isEmpty())
        return nullptr;
    return menu;
}

QList<int> TrackTable::rowsToDrag() const
{
    return existingRows(selectedRowNumbers());
}

QList<int> TrackTable::existingRows(QList<int> rows) const
{
    rows.erase(
        std::remove_if(rows.begin(), rows.end(), [this](int row) { return row < 0 || row >= m_model->rowCount(); }),
        rows.end());
    return rows;
}

QMimeData* TrackTable::dragPayload(const QList<int>& rows) const
{
    QList<PlaylistTrack> tracks;
    tracks.reserve(rows.size());
    for (int row : rows) {
        if (row >= 0 && row < m_model->rowCount()) {
            const TrackRow dragged = m_model->row(row);
            tracks.append(PlaylistTrack(dragged.ref, dragged.fileHint));
        }
    }
    return encodePlaylistTracks(tracks);
}

QPixmap TrackTable::dragPicture(int row) const
{
    if (row < 0 || row >= m_model->rowCount())
        return {};
    const TrackRow shown = m_model->row(row);
    return DragPreview(shown.title, shown.artist).render(palette(), font(), std::max(2.0, devicePixelRatioF()));
}

TrackDropDecision::Operation TrackTable::judgeDrop(QDropEvent& event) const
{
    using namespace TrackDropDecision;
    const QMimeData* data = event.mimeData();
    // Read once per drag, when it enters: a drag of many rows is not decoded
    // at every move, nor again at the drop.
    if (event.type() == QEvent::DragEnter || data != m_judgedDrag) {
        m_judgedDrag = data;
        m_judgedPayload = data && hasPlaylistTracks(*data, m_configuration.supportedDropExtensions)
                              ? Payload::Tracks
                              : Payload::NothingToAdd;
    }
    const Origin origin = event.source() == m_view ? Origin::ThisTable : Origin::Elsewhere;
    const Copying copying = event.modifiers().testFlag(Qt::ControlModifier) ? Copying::Forced : Copying::AsProposed;
    const Operation result = operation(m_configuration, origin, copying, m_judgedPayload);
    if (result == Operation::None) {
        event.ignore();
        return result;
    }
    event.setDropAction(result == Operation::Move ? Qt::MoveAction : Qt::CopyAction);
    event.accept();
    return result;
}

void TrackTable::takeDropsOn(QWidget* surface)
{
    surface->setAcceptDrops(true);
    surface->installEventFilter(this);
}

bool TrackTable::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: judgeDrop(static_cast<QDropEvent&>(*event)); return true;
    case QEvent::Drop: {
        auto& drop = static_cast<QDropEvent&>(*event);
        const TrackDropDecision::Operation operation = judgeDrop(drop);
        if (drop.isAccepted() && !handleDrop(*drop.mimeData(), operation, m_model->rowCount()))
            drop.ignore();
        return true;
    }
    default: return QWidget::eventFilter(watched, event);
    }
}

bool TrackTable::handleDrop(const QMimeData& data, TrackDropDecision::Operation operation, int destination)
{
    using Operation = TrackDropDecision::Operation;
    destination = std::clamp(destination, 0, m_model->rowCount());
    GestureScope scope(*this);
    switch (operation) {
    case Operation::None: return false;
    case Operation::Move: {
        // Rows replaced while the drag was under way may have left some behind.
        const QList<int> rows = existingRows(m_draggedRows);
        if (rows.isEmpty())
            return false;
        if (m_callbacks.onReorder)
            m_callbacks.onReorder(rows, destination);
        return true;
    }
    case Operation::Copy: break;
    }
    if (!m_callbacks.onDrop)
        return false;
    const QList<PlaylistTrack> tracks = extractPlaylistTracks(data, m_configuration.supportedDropExtensions);
    if (tracks.isEmpty())
        return false;
    m_callbacks.onDrop(tracks, destination);
    return true;
}

} // namespace vessa
