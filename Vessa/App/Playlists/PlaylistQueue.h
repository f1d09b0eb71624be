#pragma once

#include "Parvik/PlaylistTrack.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace vessa {

class PlayContext;
class PlaylistLibrary;

// How a playlist's entries stand to those of an earlier version: for each
// entry of `after`, the index in `before` of the entry it continues, or -1
// for an entry the change brought in.
struct PlaylistEdit {
    QList<PlaylistTrack> before;
    QList<PlaylistTrack> after;
    QList<qsizetype> origins;

    // The same references in the same places continue each other, whatever
    // their hints (a save under another file rewrites relative ones).
    // Otherwise entries alike at the start and at the end are matched in
    // place, those between by value, in order. Exact for one insertion or
    // removal in one place; which of two equal entries moved is beyond telling.
    static PlaylistEdit byComparison(QList<PlaylistTrack> before, QList<PlaylistTrack> after);
};

// Which entries of a version of a playlist a queue played from its view
// holds, and in which order: their playlist indexes, filtered and sorted as
// the view showed them at the double-click. Made by the view; the view's own
// filter and sort may change afterwards, this order does not.
using PlaylistQueueOrder = std::function<QList<qsizetype>(const QList<PlaylistTrack>& entries)>;

// The play queue loaded from a playlist, and the one rule by which it follows
// that playlist:
//
// - The queue is what the user played: the playlist's entries in the filter
//   and order its view showed at the double-click (load()).
// - Every later edit of the playlist (in its view, by a drop on its sidebar
//   row, by "Add to Playlist", a star, or a sync of its file) is carried into
//   the queue under that same filter and order (PlayContext::editQueue): an
//   added entry the filter hides stays out, and the entry that sounds goes
//   on from where it now stands.
// - A later sort, filter or re-show of the view changes neither the queue
//   nor the entry that sounds; nor does a new identity of the same playlist
//   (its document saved under another name, folder or format: rename()).
// - The view marks the sounding entry (soundingEntry()) wherever its own
//   filter and order now show it, and no row when that filter hides it or
//   nothing sounds (a play that failed included).
//
// A view that shows the playlist reports each change of its entries
// (follow()), with the edit when it made it. A library playlist that no view
// shows is followed here once the library has published a version of it
// that the queue does not reflect yet.
//
// Threads: main thread only.
class PlaylistQueue : public QObject {
    Q_OBJECT
public:
    PlaylistQueue(PlayContext& playContext, PlaylistLibrary& library, QObject* parent = nullptr);
    ~PlaylistQueue() override;

    // The library whose playlists are played and followed: replaced when the
    // playlist storage moves (playlistLibraryChanged()).
    PlaylistLibrary& playlistLibrary() const;
    void setPlaylistLibrary(PlaylistLibrary& library);

    // The entries `shown` (playlist indexes in shown order) of a playlist,
    // as the play context takes them: references and hints.
    struct ShownEntries {
        QList<TrackRef> tracks;
        QList<std::optional<QString>> fileHints;
    };
    static ShownEntries shownEntries(const QList<PlaylistTrack>& entries, const QList<qsizetype>& shown);

    // Loads the entries `shown` of a playlist into the queue, the one shown
    // at `start` current; playing is the caller's. `shown` is what `order`
    // gives for `entries`; a null order is every entry in stored order.
    // `libraryName`: the name of a library playlist, none for a document.
    // Relative hints count from `playlistFilePath`.
    void load(const QString& queueID, const std::optional<QString>& libraryName, const QList<PlaylistTrack>& entries,
              const QList<qsizetype>& shown, PlaylistQueueOrder order, qsizetype start,
              const std::optional<QString>& playlistFilePath);
    // The playlist of `queueID` now holds `entries`. When the queue loaded
    // from it is the play context's, it follows under the order of its load:
    // by `edit` when that leads from the version the queue holds to
    // `entries`, otherwise by comparing the two. A library playlist the
    // library no longer holds is not followed (its queue plays on as it is).
    void follow(const QString& queueID, const QList<PlaylistTrack>& entries,
                const std::optional<PlaylistEdit>& edit = std::nullopt);
    // The playlist of `queueID` goes by `newQueueID` now (a document saved
    // under another name, folder or format): the queue loaded from it, while
    // it is the play context's, takes the new identity, library name and
    // playlist file, and follows the playlist on under its new identity.
    void rename(const QString& queueID, const QString& newQueueID, const std::optional<QString>& libraryName,
                const std::optional<QString>& playlistFilePath);
    // The playlist of `queueID` is gone for good (a document never saved was
    // closed, and a new one may take its name): the queue loaded from it
    // plays on as it is and follows nothing any more.
    void release(const QString& queueID);
    // The playlist index, in `entries`, of the entry that sounds from the
    // queue of `queueID`; none when that queue is not the play context's,
    // `entries` is not the version the queue follows, or no entry of its
    // list sounds.
    std::optional<qsizetype> soundingEntry(const QString& queueID, const QList<PlaylistTrack>& entries) const;

signals:
    void playlistLibraryChanged();

private:
    bool followsPlayContext() const;
    QList<qsizetype> shownOf(const QList<PlaylistTrack>& entries) const;
    // Once events have run: a library playlist that changed while no view
    // reported it.
    void followLibraryLater();
    void followLibrary();

    PlayContext& m_playContext;
    QPointer<PlaylistLibrary> m_library;
    // The queue identity of the last load, its order, and what the queue's
    // list holds: the playlist's entries and the indexes of those in the
    // list, in order.
    std::optional<QString> m_queueID;
    std::optional<QString> m_libraryName;
    PlaylistQueueOrder m_order;
    QList<PlaylistTrack> m_entries;
    QList<qsizetype> m_shown;
    bool m_libraryCheckPending = false;
};

} // namespace vessa
