#include "Vessa/Views/TrackLists/PlaylistContentView.h"

#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/TrackLists/DebouncedFilterField.h"
#include "Vessa/Views/TrackLists/PlaylistContentModel.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vessa {

namespace {

QLabel* emptyStateLabel(QWidget* parent, qreal pointSizeFactor, QPalette::ColorRole role, int alpha)
{
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * pointSizeFactor);
    label->setFont(font);
    QPalette palette = label->palette();
    QColor color = palette.color(role);
    color.setAlpha(alpha);
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

} // namespace

PlaylistContentView::PlaylistContentView(TrackListServices services, PlaylistStorage storage, FileRevealerPtr revealer,
                                         QWidget* parent)
    : QWidget(parent),
      m_model(new PlaylistContentModel(std::move(services), std::move(storage), std::move(revealer), this)),
      m_filterField(new DebouncedFilterField(this)),
      m_stack(new QStackedWidget(this)),
      m_table(new TrackTable(m_model->configuration(), this)),
      m_emptyState(new QWidget(this)),
      m_applyCallbacks(new CoalescedRefresh([this] { applyCallbacks(); }, this))
{
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(8, 6, 8, 6);
    bar->addStretch(1);
    m_filterField->setMaximumWidth(260);
    bar->addWidget(m_filterField, 1);
    if (m_model->storage().isDocument()) {
        m_copyButton = new QPushButton(this);
        bar->addWidget(m_copyButton);
        connect(m_copyButton, &QPushButton::clicked, m_model, &PlaylistContentModel::copyToLibrary);
        connect(m_model, &PlaylistContentModel::copiedToLibraryChanged, this, &PlaylistContentView::showCopyState);
        showCopyState();
    }

    // The empty state: symbol, title and subtitle between flexible space.
    auto* empty = new QVBoxLayout(m_emptyState);
    empty->setSpacing(16);
    m_emptyIcon = new QLabel(m_emptyState);
    m_emptyIcon->setAlignment(Qt::AlignCenter);
    m_emptyTitle = emptyStateLabel(m_emptyState, 1.6, QPalette::WindowText, 170);
    m_emptySubtitle = emptyStateLabel(m_emptyState, 0.95, QPalette::WindowText, 110);
    empty->addStretch(1);
    empty->addWidget(m_emptyIcon);
    empty->addWidget(m_emptyTitle);
    empty->addWidget(m_emptySubtitle);
    empty->addStretch(1);
    m_table->takeDropsOn(m_emptyState);

    m_stack->addWidget(m_table);
    m_stack->addWidget(m_emptyState);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(m_stack, 1);

    connect(m_filterField, &DebouncedFilterField::settled, m_model,
            [this](const QString& text) { m_model->setSearchText(text); });
    connect(m_model, &PlaylistContentModel::rowsChanged, this, &PlaylistContentView::showRows);
    connect(m_model, &PlaylistContentModel::documentEdited, this, &PlaylistContentView::documentEdited);
    connect(m_model, &PlaylistContentModel::storageChanged, this, [this] {
        showEmptyStateTexts();
        emit navigationTitleChanged();
    });
    showEmptyStateTexts();
    showRows();
    applyCallbacks();
}

PlaylistContentView::~PlaylistContentView() = default;

void PlaylistContentView::setStorage(PlaylistStorage storage)
{
    m_model->setStorage(std::move(storage));
}

void PlaylistContentView::showLibraryPlaylist(const QString& name)
{
    m_filterField->setTextNow(QString());
    m_table->setSelectedIds({});
    m_table->clearSortIndicator();
    m_model->showPlaylist(PlaylistStorage::library(name));
    m_table->view()->scrollToTop();
}

void PlaylistContentView::documentChanged()
{
    m_model->documentChanged();
}

QString PlaylistContentView::navigationTitle() const
{
    return m_model->navigationTitle();
}

QLineEdit* PlaylistContentView::filterField() const
{
    return m_filterField;
}

void PlaylistContentView::showRows()
{
    // Reordering exists only in manual order, drops also on an empty playlist.
    const std::pair<bool, bool> gestures{m_model->isManualOrder(), m_model->takesDrops()};
    if (m_gesturesOffered != gestures) {
        m_gesturesOffered = gestures;
        m_table->setConfiguration(m_model->configuration());
        // The table may be running one of its callbacks now (a header click
        // that left manual order): they are replaced once it has returned.
        m_applyCallbacks->request();
    }
    m_table->setRows(m_model->rows());
    m_stack->setCurrentWidget(m_model->isEmpty() ? m_emptyState : static_cast<QWidget*>(m_table));
}

void PlaylistContentView::applyCallbacks()
{
    TrackTableCallbacks callbacks;
    callbacks.onPlay = [this](qsizetype index) { m_model->playTrack(index); };
    callbacks.onRemove = [this](const QList<qsizetype>& indexes) { m_model->removeTracks(indexes); };
    // Checked again at the call: the order may have left manual order
    // before these callbacks are replaced.
    if (m_model->isManualOrder()) {
        callbacks.onReorder = [this](const QList<int>& rows, int destination) {
            if (m_model->isManualOrder())
                m_model->handleReorder(rows, destination);
        };
    }
    if (m_model->takesDrops()) {
        callbacks.onDrop = [this](const QList<PlaylistTrack>& tracks, int row) {
            if (m_model->takesDrops())
                m_model->handleDrop(tracks, row);
        };
    }
    callbacks.onSortChanged = [this](const QString& key, Qt::SortOrder order) {
        m_model->setSort(key, order == Qt::AscendingOrder);
        // The stored order has no direction to show: its header restores it.
        if (m_model->filterAndSort().sortKey == QLatin1String("index"))
            m_table->clearSortIndicator();
    };
    callbacks.contextMenuItems = [this](const TrackRows& rows) { return m_model->contextMenu(rows); };
    m_table->setCallbacks(std::move(callbacks));
}

void PlaylistContentView::showEmptyStateTexts()
{
    const PlaylistStorage& storage = m_model->storage();
    const QString symbol = storage.isStarred() ? QStringLiteral("star") : QStringLiteral("music.note.list");
    m_emptyIcon->setPixmap(Icons::icon(symbol).pixmap(64, 64, QIcon::Disabled));
    if (storage.isStarred()) {
        m_emptyTitle->setText(tr("No starred tracks"));
        m_emptySubtitle->setText(tr("Right-click a track and choose \"Star\" to add it here."));
    } else if (storage.isLibrary()) {
        m_emptyTitle->setText(tr("This playlist is empty"));
        m_emptySubtitle->setText(tr("Drag tracks here, or right-click a track and choose \"Add to Playlist\"."));
    } else {
        m_emptyTitle->setText(tr("This playlist is empty"));
        m_emptySubtitle->setText(tr("Drag tracks from the library or audio files here."));
    }
}

void PlaylistContentView::showCopyState()
{
    const bool copied = m_model->copiedToLibrary();
    m_copyButton->setText(copied ? tr("Copied") : tr("Copy to Library"));
    m_copyButton->setIcon(Icons::icon(copied ? QStringLiteral("checkmark") : QStringLiteral("square.and.arrow.down")));
    m_copyButton->setEnabled(!copied);
}

} // namespace vessa
