#include "Vessa/Views/MainWindow/SidebarView.h"

#include "Parvik/PlaylistLibrary.h"
#include "Rasko/PluginRegistry.h"
#include "Vessa/App/Library/MusicLibrary.h"
#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/App/Playlists/PlaylistQueue.h"
#include "Vessa/Views/MainWindow/InlineNameField.h"
#include "Vessa/Views/MainWindow/PlaylistOperations.h"
#include "Vessa/Views/MainWindow/SidebarSelection.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/Theme/TextStyles.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>

namespace vessa {

namespace {

constexpr int kindRole = Qt::UserRole;
constexpr int payloadRole = Qt::UserRole + 1;
constexpr int loadErrorRole = Qt::UserRole + 2;
const QSize symbolSize(16, 16);

QString folderTitle(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

SidebarView::SidebarView(Services services, SidebarSelection& selection, PlaylistOperations& operations,
                         QWidget* parent)
    : QTreeWidget(parent),
      m_services(services),
      m_selection(selection),
      m_operations(operations),
      m_chooseFolder(&SidebarView::chooseFolderWithDialog),
      m_rebuild(new CoalescedRefresh([this] { rebuild(); }, this))
{
    setObjectName(QStringLiteral("Sidebar"));
    setColumnCount(2);
    setHeaderHidden(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(countColumn, QHeaderView::ResizeToContents);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setMinimumWidth(200);

    connect(this, &QTreeWidget::itemSelectionChanged, this, &SidebarView::userSelectionChanged);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (item == m_localFiles && !m_syncing)
            m_services.settings.setValue(foldersExpandedKey, true);
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (item == m_localFiles && !m_syncing)
            m_services.settings.setValue(foldersExpandedKey, false);
        else if (!item->parent())
            item->setExpanded(true); // sections stay open
    });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (std::unique_ptr<QMenu> menu = contextMenuFor(itemAt(position)))
            menu->exec(viewport()->mapToGlobal(position));
    });

    const auto request = [this] { m_rebuild->request(); };
    connect(&m_services.musicLibrary, &MusicLibrary::watchedDirectoriesChanged, this, request);
    connect(&m_services.musicLibrary, &MusicLibrary::scannedTracksChanged, this, request);
    connect(&m_services.playlists, &PlaylistQueue::playlistLibraryChanged, this, [this] {
        watchPlaylistLibrary();
        m_rebuild->request();
    });
    connect(&m_selection, &SidebarSelection::sourceChanged, this, &SidebarView::showSelection);
    connect(&m_operations, &PlaylistOperations::editingChanged, this, [this] {
        m_focusNameField = m_operations.isEditing();
        m_rebuild->request();
    });
    watchPlaylistLibrary();
    rebuild();
}

SidebarView::~SidebarView() = default;

void SidebarView::watchPlaylistLibrary()
{
    disconnect(m_playlistsConnection);
    disconnect(m_loadErrorsConnection);
    PlaylistLibrary& library = m_services.playlists.playlistLibrary();
    m_playlistsConnection =
        connect(&library, &PlaylistLibrary::playlistsChanged, this, [this] { m_rebuild->request(); });
    m_loadErrorsConnection =
        connect(&library, &PlaylistLibrary::loadErrorsChanged, this, [this] { m_rebuild->request(); });
}

QString SidebarView::chooseFolderWithDialog(QWidget* parent)
{
    return QFileDialog::getExistingDirectory(parent, tr("Choose a folder containing music files"), QString(),
                                             QFileDialog::ShowDirsOnly);
}

void SidebarView::addFolder()
{
    const QString folder = m_chooseFolder ? m_chooseFolder(window()) : QString();
    if (folder.isEmpty())
        return;
    m_services.musicLibrary.addWatchedDirectory(folder);
    m_services.musicLibrary.rescanAll();
}

std::optional<SidebarSource> SidebarView::sourceOf(const QTreeWidgetItem* item)
{
    if (!item || !item->data(0, kindRole).isValid())
        return std::nullopt;
    const QString payload = item->data(0, payloadRole).toString();
    switch (static_cast<SidebarSource::Kind>(item->data(0, kindRole).toInt())) {
    case SidebarSource::Kind::localFiles: return SidebarSource::localFiles();
    case SidebarSource::Kind::folder: return SidebarSource::folder(payload);
    case SidebarSource::Kind::starred: return SidebarSource::starred();
    case SidebarSource::Kind::playlist: return SidebarSource::playlist(payload);
    }
    return std::nullopt;
}

QTreeWidgetItem* SidebarView::itemFor(const SidebarSource& source) const
{
    for (QTreeWidgetItemIterator it(const_cast<SidebarView*>(this)); *it; ++it) {
        if (sourceOf(*it) == source)
            return *it;
    }
    return nullptr;
}

QList<QTreeWidgetItem*> SidebarView::playlistItems() const
{
    QList<QTreeWidgetItem*> items;
    for (QTreeWidgetItemIterator it(const_cast<SidebarView*>(this)); *it; ++it) {
        const std::optional<SidebarSource> source = sourceOf(*it);
        if (source && source->kind() == SidebarSource::Kind::playlist)
            items.append(*it);
    }
    return items;
}

QList<QTreeWidgetItem*> SidebarView::loadErrorItems() const
{
    QList<QTreeWidgetItem*> items;
    for (QTreeWidgetItemIterator it(const_cast<SidebarView*>(this)); *it; ++it) {
        if ((*it)->data(0, loadErrorRole).toBool())
            items.append(*it);
    }
    return items;
}

QList<QTreeWidgetItem*> SidebarView::folderItems() const
{
    QList<QTreeWidgetItem*> items;
    for (int i = 0; m_localFiles && i < m_localFiles->childCount(); ++i) {
        if (sourceOf(m_localFiles->child(i)))
            items.append(m_localFiles->child(i));
    }
    return items;
}

QTreeWidgetItem* SidebarView::addSection(const QString& title)
{
    auto* section = new QTreeWidgetItem(this, {title});
    section->setFlags(Qt::ItemIsEnabled);
    QFont font = section->font(0);
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 0.85);
    section->setFont(0, font);
    section->setForeground(0, TextStyles::secondaryText(palette()));
    section->setFirstColumnSpanned(true);
    section->setExpanded(true);
    return section;
}

QTreeWidgetItem* SidebarView::addSourceRow(QTreeWidgetItem* parent, const SidebarSource& source, const QIcon& icon,
                                           const QString& title, std::optional<qint64> count)
{
    auto* item = new QTreeWidgetItem(parent, {title, count ? QString::number(*count) : QString()});
    item->setIcon(0, icon);
    item->setData(0, kindRole, static_cast<int>(source.kind()));
    item->setData(0, payloadRole, source.payload());
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(countColumn, Qt::AlignRight | Qt::AlignVCenter);
    item->setForeground(countColumn, TextStyles::secondaryText(palette()));
    QFont caption = item->font(countColumn);
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    item->setFont(countColumn, caption);
    return item;
}

QPushButton* SidebarView::addButtonRow(QTreeWidgetItem* parent, const QString& title)
{
    auto* item = new QTreeWidgetItem(parent);
    item->setFlags(Qt::ItemIsEnabled);
    item->setFirstColumnSpanned(true);
    auto* button = new QPushButton(Icons::icon(QStringLiteral("plus")), title);
    button->setFlat(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding: 2px 4px; }"));
    QPalette buttonPalette = button->palette();
    buttonPalette.setColor(QPalette::ButtonText, TextStyles::secondaryText(palette()));
    button->setPalette(buttonPalette);
    setItemWidget(item, 0, button);
    return button;
}

void SidebarView::rebuild()
{
    // The row being named is made anew below; the user goes on where they were.
    std::optional<InlineNameField::Editing> naming;
    if (m_nameField)
        naming = m_nameField->editing();
    m_syncing = true;
    m_nameField = nullptr;
    clear();

    QTreeWidgetItem* library = addSection(tr("Library"));
    m_localFiles = addSourceRow(library, SidebarSource::localFiles(), Icons::icon(QStringLiteral("folder.fill")),
                                tr("Local Files"), std::nullopt);
    const QStringList folders = m_services.musicLibrary.watchedDirectories();
    for (const QString& folder : folders) {
        QTreeWidgetItem* row =
            addSourceRow(m_localFiles, SidebarSource::folder(folder), Icons::icon(QStringLiteral("folder")),
                         folderTitle(folder), m_services.musicLibrary.trackCount(folder));
        // A folder that is away keeps its row and its tracks, greyed as they are.
        if (const std::optional<QString> problem = m_services.musicLibrary.folderProblem(folder)) {
            const QString reason = tr("%1 is not available: %2").arg(QDir::toNativeSeparators(folder), *problem);
            for (const int column : {0, countColumn}) {
                row->setForeground(column, TextStyles::tertiaryText(palette()));
                row->setToolTip(column, reason);
            }
        }
    }
    // While the library is empty its hint names "Add Folder": the button then
    // stands outside the fold, in sight.
    const bool inSight = folders.isEmpty() || m_services.musicLibrary.scannedTracks().isEmpty();
    m_addFolderButton = addButtonRow(inSight ? library : m_localFiles, tr("Add Folder"));
    connect(m_addFolderButton, &QPushButton::clicked, this, &SidebarView::addFolder);
    m_localFiles->setExpanded(m_services.settings.value(foldersExpandedKey, false).toBool());

    addPlaylistRows(addSection(tr("Playlists")));
    showSelection();
    m_syncing = false;

    if (m_nameField && m_focusNameField) {
        m_focusNameField = false;
        m_nameField->setFocus();
        m_nameField->selectAll();
    } else if (m_nameField && naming) {
        m_nameField->resume(*naming);
    }
}

void SidebarView::addPlaylistRows(QTreeWidgetItem* section)
{
    const PlaylistLibrary& library = m_services.playlists.playlistLibrary();
    addSourceRow(section, SidebarSource::starred(),
                 Icons::tinted(QStringLiteral("star.fill"), symbolSize, devicePixelRatioF(), QColor(0xff, 0xcc, 0x00)),
                 tr("Starred"), library.starred().tracks.size());
    for (const Playlist& playlist : library.playlists()) {
        if (playlist.name == PlaylistLibrary::starredName)
            continue;
        QTreeWidgetItem* row =
            addSourceRow(section, SidebarSource::playlist(playlist.name),
                         Icons::icon(QStringLiteral("music.note.list")), playlist.name, playlist.tracks.size());
        if (m_operations.editingName() == playlist.name)
            openNameField(row);
    }
    const QIcon warning = Icons::tinted(QStringLiteral("exclamationmark.triangle.fill"), symbolSize,
                                        devicePixelRatioF(), QColor(0xff, 0x95, 0x00));
    for (const PlaylistLoadError& failure : library.loadErrors()) {
        auto* row = new QTreeWidgetItem(section, {failure.name});
        row->setIcon(0, warning);
        row->setForeground(0, TextStyles::secondaryText(palette()));
        row->setToolTip(0, failure.errorDescription());
        row->setData(0, loadErrorRole, true);
        row->setFlags(Qt::ItemIsEnabled);
    }
    m_newPlaylistButton = addButtonRow(section, tr("New Playlist"));
    connect(m_newPlaylistButton, &QPushButton::clicked, &m_operations, &PlaylistOperations::createNewPlaylistInline);
}

void SidebarView::openNameField(QTreeWidgetItem* item)
{
    item->setText(0, QString());
    item->setText(countColumn, QString());
    m_nameField = new InlineNameField;
    m_nameField->setText(m_operations.editingText());
    connect(m_nameField, &QLineEdit::textChanged, &m_operations, &PlaylistOperations::setEditingText);
    connect(m_nameField, &QLineEdit::returnPressed, &m_operations, &PlaylistOperations::finalizeRename);
    connect(m_nameField, &InlineNameField::cancelled, &m_operations, &PlaylistOperations::cancelCreation);
    setItemWidget(item, 0, m_nameField);
}

void SidebarView::showSelection()
{
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    QTreeWidgetItem* item = m_selection.source() ? itemFor(*m_selection.source()) : nullptr;
    if (item) {
        if (item->parent() == m_localFiles && !m_localFiles->isExpanded())
            m_localFiles->setExpanded(true);
        setCurrentItem(item);
    } else {
        clearSelection();
    }
    m_syncing = wasSyncing;
}

void SidebarView::userSelectionChanged()
{
    if (m_syncing)
        return;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty())
        return;
    if (const std::optional<SidebarSource> source = sourceOf(selected.first()))
        m_selection.setSource(source);
}

std::unique_ptr<QMenu> SidebarView::contextMenuFor(QTreeWidgetItem* item)
{
    const std::optional<SidebarSource> source = sourceOf(item);
    if (!source || source->kind() != SidebarSource::Kind::playlist || m_operations.editingName() == source->payload())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QAction* remove = menu->addAction(Icons::icon(QStringLiteral("trash")), tr("Delete Playlist"));
    const QString name = source->payload();
    connect(remove, &QAction::triggered, &m_operations, [this, name] { m_operations.deletePlaylist(name); });
    return menu;
}

SidebarView::DropTargets SidebarView::dropTargetsOf(const QMimeData& data) const
{
    // Files are no library tracks: Starred reads references alone, which a
    // playlist takes too.
    const bool references = hasPlaylistTracks(data, {});
    return {references, references || hasPlaylistTracks(data, m_services.pluginRegistry.allSupportedExtensions())};
}

bool SidebarView::acceptsDrop(const QTreeWidgetItem* item, const DropTargets& targets) const
{
    const std::optional<SidebarSource> source = sourceOf(item);
    if (!source)
        return false;
    if (source->kind() == SidebarSource::Kind::starred)
        return targets.starred;
    if (source->kind() == SidebarSource::Kind::playlist && m_operations.editingName() != source->payload())
        return targets.playlist;
    return false;
}

bool SidebarView::acceptsDrop(const QTreeWidgetItem* item, const QMimeData& data) const
{
    return acceptsDrop(item, dropTargetsOf(data));
}

bool SidebarView::drop(const QTreeWidgetItem* item, const QMimeData& data)
{
    if (!acceptsDrop(item, data))
        return false;
    const SidebarSource source = *sourceOf(item);
    if (source.kind() == SidebarSource::Kind::starred)
        return m_operations.dropOnStarred(data);
    return m_operations.dropOnPlaylist(source.payload(), data, m_services.pluginRegistry.allSupportedExtensions());
}

void SidebarView::dragEnterEvent(QDragEnterEvent* event)
{
    m_dragTargets = dropTargetsOf(*event->mimeData());
    if (m_dragTargets.starred || m_dragTargets.playlist)
        event->acceptProposedAction();
    else
        event->ignore();
}

void SidebarView::dragMoveEvent(QDragMoveEvent* event)
{
    if (acceptsDrop(itemAt(event->position().toPoint()), m_dragTargets))
        event->acceptProposedAction();
    else
        event->ignore();
}

void SidebarView::dropEvent(QDropEvent* event)
{
    // The rows follow the library through the coalesced rebuild, after this handler.
    if (drop(itemAt(event->position().toPoint()), *event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace vessa
