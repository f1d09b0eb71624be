#include "Vessa/Views/TrackLists/TrackListView.h"

#include "Vessa/Views/TrackLists/DebouncedFilterField.h"
#include "Vessa/Views/TrackLists/TrackListModel.h"
#include "Vessa/Views/TrackTable/TrackTable.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vessa {

TrackListView::TrackListView(TrackListServices services, FileRevealerPtr revealer, QWidget* parent)
    : QWidget(parent),
      m_model(new TrackListModel(std::move(services), std::move(revealer), this)),
      m_filterField(new DebouncedFilterField(this)),
      m_table(new TrackTable(TrackTableConfiguration{true, true, false, false, {}}, this))
{
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(8, 6, 8, 6);
    bar->addStretch(1);
    m_filterField->setMaximumWidth(260);
    bar->addWidget(m_filterField, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);

    m_filterField->setTextNow(m_model->searchText());
    connect(m_filterField, &DebouncedFilterField::settled, m_model,
            [this](const QString& text) { m_model->setSearchText(text); });
    connect(m_model, &TrackListModel::searchTextChanged, this,
            [this] { m_filterField->setTextNow(m_model->searchText()); });
    connect(m_model, &TrackListModel::rowsChanged, this, &TrackListView::showRows);
    connect(m_table, &TrackTable::selectionChanged, m_model, &TrackListModel::setSelection);
    connect(m_model, &TrackListModel::selectionChanged, this,
            [this] { m_table->setSelectedIds(m_model->selection()); });

    TrackTableCallbacks callbacks;
    callbacks.onPlay = [this](qsizetype index) { m_model->playTrack(index); };
    callbacks.onSortChanged = [this](const QString& key, Qt::SortOrder order) {
        m_model->setSort(key, order == Qt::AscendingOrder);
    };
    callbacks.contextMenuItems = [this](const TrackRows& rows) { return m_model->contextMenu(rows); };
    m_table->setCallbacks(std::move(callbacks));
    showRows();
}

TrackListView::~TrackListView() = default;

QLineEdit* TrackListView::filterField() const
{
    return m_filterField;
}

void TrackListView::setScannedTracks(const QList<ScannedTrack>& tracks, const std::optional<SidebarSource>& source)
{
    m_model->setScannedTracks(tracks, source);
}

void TrackListView::revealTrack(const TrackRef& ref)
{
    m_model->revealTrack(ref);
}

void TrackListView::showRows()
{
    m_table->setRowSource(m_model->rowSource());
}

} // namespace vessa
