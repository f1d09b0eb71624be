#pragma once

#include "Vessa/Views/TrackLists/DetailLists.h"
#include "Vessa/Views/TrackLists/FileRevealer.h"
#include "Vessa/Views/TrackLists/PlaylistStorage.h"
#include "Vessa/Views/TrackLists/TrackListServices.h"

#include <QWidget>

#include <optional>
#include <utility>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace vessa {

class CoalescedRefresh;
class DebouncedFilterField;
class PlaylistContentModel;
class TrackTable;

// One playlist as a track table: a playlist of the library (by name) or a
// playlist document. Filter field ("Filter tracks"), sorting, play from a
// row, the empty state while the playlist has no entries, and the editing
// gestures (Delete, drag to reorder, drops, the context menu). For a document
// a "Copy to Library" button sits beside the filter field.
//
// Document storage: the view edits the PlaylistDocument in place and emits
// documentEdited() after each edit, so the document's window can mark itself
// modified; when the window changes the document itself (revert, reload) it
// calls documentChanged(). The logic lives in PlaylistContentModel.
class PlaylistContentView : public QWidget, public PlaylistDetailView {
    Q_OBJECT
public:
    explicit PlaylistContentView(TrackListServices services, PlaylistStorage storage,
                                 FileRevealerPtr revealer = nullptr, QWidget* parent = nullptr);
    ~PlaylistContentView() override;

    // Points the view at another storage of the same kind (a renamed playlist, a document
    // saved under a new file); filter, sort and selection stay.
    void setStorage(PlaylistStorage storage);
    // Shows the library playlist of that name as a new view does: stored
    // order, no filter, nothing selected.
    void showLibraryPlaylist(const QString& name) override;
    QWidget* widget() override { return this; }
    // The document was changed by its owner: show it again.
    void documentChanged();

    // The library playlist's name, or the document playlist's name.
    QString navigationTitle() const;

    PlaylistContentModel& model() const { return *m_model; }
    TrackTable* table() const { return m_table; }
    QLineEdit* filterField() const;
    // Null for library storage.
    QPushButton* copyButton() const { return m_copyButton; }
    // Shown instead of the table while the playlist has no entries; it takes
    // the drops it asks for, whatever the sort and filter.
    QWidget* emptyState() const { return m_emptyState; }

signals:
    // The document's playlist was edited through this view.
    void documentEdited();
    void navigationTitleChanged();

private:
    void showRows();
    void applyCallbacks();
    void showEmptyStateTexts();
    void showCopyState();

    PlaylistContentModel* m_model;
    DebouncedFilterField* m_filterField;
    QPushButton* m_copyButton = nullptr;
    QStackedWidget* m_stack;
    TrackTable* m_table;
    QWidget* m_emptyState;
    QLabel* m_emptyIcon;
    QLabel* m_emptyTitle;
    QLabel* m_emptySubtitle;
    // Whether the table's callbacks reorder and take drops; none yet.
    std::optional<std::pair<bool, bool>> m_gesturesOffered;
    CoalescedRefresh* m_applyCallbacks;
};

} // namespace vessa
