#pragma once

#include "Vessa/Views/TrackTable/TrackRow.h"
#include "Vessa/Views/TrackTable/TrackRowSource.h"
#include "Vessa/Views/TrackTable/TrackRowsChange.h"
#include "Vessa/Views/TrackTable/TrackTableColumn.h"
#include "Vessa/Views/TrackTable/TrackTableStyle.h"

#include <QAbstractTableModel>

namespace vessa {

// The rows of one track table as Qt's item model: one row per TrackRow in the
// owner's order, one column per TrackTableColumn. It never sorts, filters or
// edits; the owner hands it whole new row lists or row sources, whose rows
// it asks for when they are painted or acted on.
class TrackTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TrackTableModel(QList<TrackTableColumn> columns, QObject* parent = nullptr);

    // Every row, made on first use after a change (a row object per row: for
    // a long list, read rows one at a time with row()).
    const TrackRows& rows() const;
    // 0 <= position < rowCount().
    TrackRow row(qsizetype position) const { return m_source->row(position); }
    TrackRowId id(qsizetype position) const { return m_source->id(position); }
    const QList<TrackTableColumn>& columns() const { return m_columns; }
    int columnOf(TrackTableColumn::Kind kind) const;

    // Takes the new rows and tells the views what changed: nothing, the
    // differing rows, or everything (a model reset). Returns which.
    TrackRowsChange::Kind setRows(TrackRows rows);
    TrackRowsChange::Kind setRowSource(TrackRowSourcePtr source);
    // Colours and fonts for the text cells; cells repaint with them.
    void setStyle(const TrackTableStyle& style);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    QString text(TrackTableColumn::Kind column, const TrackRow& row) const;

    QList<TrackTableColumn> m_columns;
    TrackRowSourcePtr m_source;
    mutable std::optional<TrackRows> m_rows; // rows(), once asked for
    TrackTableStyle m_style;
};

} // namespace vessa
