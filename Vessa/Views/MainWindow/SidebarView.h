#pragma once

#include "Vessa/Views/TrackLists/SidebarSource.h"

#include <QTreeWidget>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QMimeData;
class QPushButton;
class QSettings;

namespace vessa {

class CoalescedRefresh;
class InlineNameField;
class MusicLibrary;
class PlaylistOperations;
class PlaylistQueue;
class PluginRegistry;
class SidebarSelection;

// The main window's sidebar. "Library": Local Files, which folds out into a
// row per music folder with its track count (greyed, with the reason as its
// tooltip, while the folder is not available; the fold is saved under
// "sidebarFoldersExpanded"), and "Add Folder" (beside Local Files, not in
// the fold, while there is no music folder). "Playlists": Starred, a row per
// user playlist with its track count (or its inline name field), a row per
// playlist file that failed to load (not selectable, the error as tooltip),
// and "New Playlist". Playlist rows offer "Delete Playlist" and take drops of
// tracks and files; the Starred row takes dropped tracks.
//
// Shows and changes the shared SidebarSelection; rebuilds itself, coalesced,
// whenever the folders, the library or the playlists change. A name field
// open at a rebuild comes back with its text, selection and focus.
class SidebarView : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr QLatin1String foldersExpandedKey{"sidebarFoldersExpanded"};
    // Asks the user for a folder; an empty answer means cancelled.
    using FolderChooser = std::function<QString(QWidget* parent)>;

    // What the sidebar shows and changes; all of it outlives the view.
    struct Services {
        MusicLibrary& musicLibrary;
        // The current playlist library.
        PlaylistQueue& playlists;
        // The file types a playlist row takes.
        const PluginRegistry& pluginRegistry;
        // Where the fold of Local Files is kept.
        QSettings& settings;
    };

    SidebarView(Services services, SidebarSelection& selection, PlaylistOperations& operations,
                QWidget* parent = nullptr);
    ~SidebarView() override;

    // The folder dialog by default.
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    static QString chooseFolderWithDialog(QWidget* parent);
    // Adds the chosen folder and scans; nothing when the chooser is cancelled.
    void addFolder();

    // ---- rows, for the window and its tests
    QTreeWidgetItem* itemFor(const SidebarSource& source) const;
    QList<QTreeWidgetItem*> playlistItems() const;
    QList<QTreeWidgetItem*> loadErrorItems() const;
    QList<QTreeWidgetItem*> folderItems() const;
    QTreeWidgetItem* localFilesItem() const { return m_localFiles; }
    QPushButton* addFolderButton() const { return m_addFolderButton; }
    QPushButton* newPlaylistButton() const { return m_newPlaylistButton; }
    // The open name field, if any.
    InlineNameField* nameField() const { return m_nameField; }
    static std::optional<SidebarSource> sourceOf(const QTreeWidgetItem* item);
    // The count column's text.
    static constexpr int countColumn = 1;

    // The row's menu, or none.
    std::unique_ptr<QMenu> contextMenuFor(QTreeWidgetItem* item);
    // Whether a drop of `data` on the row could be taken, and taking it.
    bool acceptsDrop(const QTreeWidgetItem* item, const QMimeData& data) const;
    bool drop(const QTreeWidgetItem* item, const QMimeData& data);

    // Rebuilds now; normally the rows follow the app through a coalesced rebuild.
    void rebuild();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Which rows a drag could go to: Starred takes track references, a
    // playlist also files of a supported type; folders, archives and other
    // files go nowhere.
    struct DropTargets {
        bool starred = false;
        bool playlist = false;
    };
    DropTargets dropTargetsOf(const QMimeData& data) const;
    bool acceptsDrop(const QTreeWidgetItem* item, const DropTargets& targets) const;

    QTreeWidgetItem* addSection(const QString& title);
    QTreeWidgetItem* addSourceRow(QTreeWidgetItem* parent, const SidebarSource& source, const QIcon& icon,
                                  const QString& title, std::optional<qint64> count);
    QPushButton* addButtonRow(QTreeWidgetItem* parent, const QString& title);
    void addPlaylistRows(QTreeWidgetItem* section);
    void openNameField(QTreeWidgetItem* item);
    void showSelection();
    void userSelectionChanged();
    void watchPlaylistLibrary();

    Services m_services;
    SidebarSelection& m_selection;
    PlaylistOperations& m_operations;
    FolderChooser m_chooseFolder;
    CoalescedRefresh* m_rebuild;
    QTreeWidgetItem* m_localFiles = nullptr;
    QPushButton* m_addFolderButton = nullptr;
    QPushButton* m_newPlaylistButton = nullptr;
    InlineNameField* m_nameField = nullptr;
    bool m_focusNameField = false;
    bool m_syncing = false;
    // What the drag under way carries, read once as it enters.
    DropTargets m_dragTargets;
    QMetaObject::Connection m_playlistsConnection;
    QMetaObject::Connection m_loadErrorsConnection;
};

} // namespace vessa
