#pragma once

#include "Parvik/Playlist.h"
#include "Vessa/App/Playlists/PlaylistQueue.h"
#include "Vessa/Views/TrackLists/FileRevealer.h"
#include "Vessa/Views/TrackLists/FilterAndSortHolder.h"
#include "Vessa/Views/TrackLists/PlaylistStorage.h"
#include "Vessa/Views/TrackLists/TrackListIndex.h"
#include "Vessa/Views/TrackLists/TrackListServices.h"
#include "Vessa/Views/TrackTable/TrackContextMenuItem.h"
#include "Vessa/Views/TrackTable/TrackRow.h"
#include "Vessa/Views/TrackTable/TrackTableConfiguration.h"

#include <QObject>

#include <functional>
#include <optional>

namespace vessa {

class CoalescedRefresh;

// What the playlist view shows and does, without widgets: the playlist from
// its storage, filter and sort over the entries' reference texts, the rows,
// playing, and every edit (PlaylistContentEditing.cpp): remove, move, drop,
// the context menu and copying a document into the library.
//
// Playing loads the shown entries through the PlaylistQueue, with the filter
// and sort of that moment; every change of the entries is reported to it, so
// that the queue loaded from this playlist follows under them. The rows mark
// the entry that sounds from that queue, wherever they show it.
//
// Edits of a library playlist are saved through the library at once (the
// next edit starts from the saved version, so none is lost, and a failed
// save leaves the view showing the saved version). A failed save or copy to
// the library is shown through TrackListServices::showError. Edits of a document change it in place and emit
// documentEdited().
//
// Threads: main thread only.
class PlaylistContentModel : public QObject, public FilterAndSortHolder {
    Q_OBJECT
public:
    PlaylistContentModel(TrackListServices services, PlaylistStorage storage, FileRevealerPtr revealer,
                         QObject* parent = nullptr);
    ~PlaylistContentModel() override;

    const PlaylistStorage& storage() const { return m_storage; }
    // The same playlist elsewhere (its document saved under another name,
    // folder or format): filter and sort stay, and so does the queue played
    // from it, under the new identity.
    void setStorage(PlaylistStorage storage);
    // Another playlist, shown as a new model shows it: stored order, no filter.
    void showPlaylist(PlaylistStorage storage);
    // The document changed outside this model: recompute.
    void documentChanged();

    // Library: the library's playlist of that name, or an empty one with the
    // name. Document: the document's playlist.
    Playlist playlist() const;
    // The identity of the queue this view plays: "playlist:" and the name for
    // a library playlist, the file's URL for a saved document, "document:"
    // and the playlist's name for one never saved. Never the library's.
    QString queueID() const;
    QString navigationTitle() const;
    // No sort, ascending, no filter: rows are the playlist in stored order,
    // the only order in which rows may be dragged and tracks dropped.
    bool isManualOrder() const;
    // Tracks are dropped in manual order, and on an empty playlist in any
    // order: its empty state asks for them, and they have one place to go.
    bool takesDrops() const { return isManualOrder() || isEmpty(); }
    TrackTableConfiguration configuration() const;

    // The filter and sort (FilterAndSortHolder): a change recomputes at
    // once; the "index" key always sorts ascending.

    // Playlist indexes in display order.
    const QList<qsizetype>& displayedTracks() const { return m_displayed; }
    const TrackRows& rows() const { return m_rows; }
    // Whether the stored playlist has no entries (the empty state).
    bool isEmpty() const { return m_entries.isEmpty(); }

    bool copiedToLibrary() const { return m_copiedToLibrary; }

    // What playing from the entry at playlist index `index` loads into the
    // play context: the shown entries with their hints, from the entry's row.
    struct QueueRequest {
        QList<TrackRef> tracks;
        qsizetype startIndex = 0;
        QList<std::optional<QString>> fileHints;
        std::optional<QString> playlistFilePath;
        QString queueID;
    };
    // Nothing when no shown row holds that entry.
    std::optional<QueueRequest> queueRequest(qsizetype index) const;
    void playTrack(qsizetype index);

    // The existing file an entry's hint names, or nothing: absolute hints,
    // and relative ones against the playlist file's folder; bare hints and
    // relative hints without a playlist file name nothing.
    static std::optional<QString> resolveFileHint(const std::optional<QString>& hint,
                                                  const std::optional<QString>& playlistFilePath);
    // The filter and sort keys of a playlist's entries.
    static TrackListIndex indexOf(const QList<PlaylistTrack>& entries);

    // ---- editing (PlaylistContentEditing.cpp)

    // `change` edits the playlist and keeps `origins` in step with it: handed
    // the entries' indexes, it leaves for each entry after the change the
    // index the entry had before (-1 for one it brought in).
    void mutatePlaylist(const std::function<void(Playlist&, QList<qsizetype>& origins)>& change);
    void removeTrack(qsizetype index);
    // Several playlist indexes: highest first, in one edit.
    void removeTracks(QList<qsizetype> indexes);
    void moveTrack(qsizetype source, qsizetype destination);
    // The table's reorder: the first dragged row goes before `destination`.
    void handleReorder(const QList<int>& rows, int destination);
    void handleDrop(const QList<PlaylistTrack>& tracks, int row);
    QList<TrackContextMenuItem> contextMenu(const TrackRows& rows);
    void copyToLibrary();

signals:
    void rowsChanged();
    void documentEdited();
    void copiedToLibraryChanged();
    void storageChanged();

private:
    void filterAndSortChanged(Change change) override;
    void reloadEntries();
    // Shows `entries` as the playlist's, and has its queue follow them.
    void showEntries(QList<PlaylistTrack> entries);
    void recomputeDisplayedTracks();
    void buildRows();
    std::optional<QString> playlistFilePath() const;
    std::optional<QString> libraryName() const;
    void carryQueueIdentity();

    void watchLibrary();

    TrackListServices m_services;
    PlaylistStorage m_storage;
    FileRevealerPtr m_revealer;
    bool m_copiedToLibrary = false;
    // The playlist's entries as last read from the storage.
    QList<PlaylistTrack> m_entries;
    // The filter and sort keys of m_entries.
    TrackListIndex m_index;
    QList<qsizetype> m_displayed;
    // The identity this playlist's queue was last known by here.
    QString m_queueIdentity;
    // The edit being written, until its new version is shown.
    std::optional<PlaylistEdit> m_edit;
    TrackRows m_rows;
    CoalescedRefresh* m_rowsRefresh;
};

} // namespace vessa
