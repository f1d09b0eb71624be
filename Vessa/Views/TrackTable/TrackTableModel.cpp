#include "Vessa/Views/TrackTable/TrackTableModel.h"

#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/Views/TrackTable/TrackDuration.h"

#include <QGuiApplication>

namespace vessa {

TrackTableModel::TrackTableModel(QList<TrackTableColumn> columns, QObject* parent)
    : QAbstractTableModel(parent),
      m_columns(std::move(columns)),
      m_source(std::make_shared<TrackRowList>(TrackRows())),
      m_style(QGuiApplication::palette(), QGuiApplication::font())
{
}

int TrackTableModel::columnOf(TrackTableColumn::Kind kind) const
{
    for (qsizetype column = 0; column < m_columns.size(); ++column) {
        if (m_columns[column].kind == kind)
            return int(column);
    }
    return -1;
}

const TrackRows& TrackTableModel::rows() const
{
    if (!m_rows) {
        if (const auto* list = dynamic_cast<const TrackRowList*>(m_source.get())) {
            m_rows = list->rows();
        } else {
            m_rows.emplace();
            m_rows->reserve(m_source->size());
            for (qsizetype position = 0; position < m_source->size(); ++position)
                m_rows->append(m_source->row(position));
        }
    }
    return *m_rows;
}

TrackRowsChange::Kind TrackTableModel::setRows(TrackRows rows)
{
    return setRowSource(std::make_shared<TrackRowList>(std::move(rows)));
}

TrackRowsChange::Kind TrackTableModel::setRowSource(TrackRowSourcePtr source)
{
    const TrackRowsChange change = TrackRowsChange::between(*m_source, *source);
    const auto take = [&] {
        m_source = std::move(source);
        m_rows.reset();
    };
    switch (change.kind) {
    case TrackRowsChange::Kind::None: take(); break;
    case TrackRowsChange::Kind::Refresh:
        take();
        emit dataChanged(index(int(change.firstRow), 0), index(int(change.lastRow), columnCount() - 1));
        break;
    case TrackRowsChange::Kind::Reset:
        beginResetModel();
        take();
        endResetModel();
        break;
    }
    return change.kind;
}

void TrackTableModel::setStyle(const TrackTableStyle& style)
{
    m_style = style;
    if (m_source->size() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole, Qt::FontRole});
}

int TrackTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_source->size());
}

int TrackTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TrackTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_source->size() || index.column() >= m_columns.size())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeading | Qt::AlignVCenter));
    if (role != Qt::DisplayRole && role != Qt::ForegroundRole && role != Qt::FontRole)
        return {};
    const TrackRow row = m_source->row(index.row());
    const TrackTableColumn::Kind column = m_columns[index.column()].kind;
    switch (role) {
    case Qt::DisplayRole: return text(column, row);
    case Qt::ForegroundRole: return m_style.cell(column, row).color;
    default: return m_style.cell(column, row).font;
    }
}

QString TrackTableModel::text(TrackTableColumn::Kind column, const TrackRow& row) const
{
    using K = TrackTableColumn::Kind;
    switch (column) {
    case K::Playing: break;
    case K::TrackNumber: return row.trackNumberDisplay;
    case K::Title: return row.title;
    case K::Artist: return row.artist;
    case K::Album: return row.album;
    case K::Time: return formatTrackDuration(row.duration);
    }
    return {};
}

QVariant TrackTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    switch (role) {
    case Qt::DisplayRole: return m_columns[section].title;
    case Qt::InitialSortOrderRole: return int(Qt::AscendingOrder);
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::Alignment(Qt::AlignLeading | Qt::AlignVCenter));
    default: return {};
    }
}

Qt::ItemFlags TrackTableModel::flags(const QModelIndex& index) const
{
    // Items are dragged but never dropped onto: a drop always falls between
    // rows. The root accepts drops so the view shows where they land.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList TrackTableModel::mimeTypes() const
{
    return playlistDropTypes();
}

Qt::DropActions TrackTableModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

} // namespace vessa
