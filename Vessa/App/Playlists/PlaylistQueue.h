#pragma once

#include "Parvik/PlaylistTrack.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

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

    // Entries alike at the start and at the end are matched in place, those
    // between by value, in order. Exact for one insertion or removal in one
    // place; which of two equal entries moved is beyond telling.
    static PlaylistEdit byComparison(QList<PlaylistTrack> before, QList<PlaylistTrack> after);
};

// The play queue loaded from a playlist, and how it follows that playlist's
// edits. A playlist view plays by loading the entries it shows through
// load(); from then on, as long as that queue is the play context's, every
// edit of the playlist (in its view, by a drop on its sidebar row, by "Add to
// Playlist", a star, or a sync of its file) is carried into the queue
// (PlayContext::editQueue): the entry that sounds goes on, from where it now
// stands, and the queue goes on in the order the playlist now shows.
//
// A view that shows the playlist reports each change of its entries with the
// order it shows them in (follow()). A library playlist that no view shows
// is followed here: once the library has published a version of it that the
// queue does not reflect yet, its stored order is what a view would show.
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
    // at `start` current; playing is the caller's. `libraryName`: the name of
    // a library playlist, none for a document. Relative hints count from
    // `playlistFilePath`.
    void load(const QString& queueID, const std::optional<QString>& libraryName, const QList<PlaylistTrack>& entries,
              const QList<qsizetype>& shown, qsizetype start, const std::optional<QString>& playlistFilePath);
    // The playlist of `queueID` now holds `entries`, shown as `shown`. When
    // the queue loaded from it is the play context's, it follows: by `edit`
    // when that leads from the version the queue holds to `entries`,
    // otherwise by comparing the two. A library playlist the library no
    // longer holds is not followed (its queue plays on as it is).
    void follow(const QString& queueID, const QList<PlaylistTrack>& entries, const QList<qsizetype>& shown,
                const std::optional<PlaylistEdit>& edit = std::nullopt);

signals:
    void playlistLibraryChanged();

private:
    bool followsPlayContext() const;
    // Once events have run: a library playlist that changed while no view
    // reported it.
    void followLibraryLater();
    void followLibrary();

    PlayContext& m_playContext;
    QPointer<PlaylistLibrary> m_library;
    // The queue identity of the last load, and what the queue's list holds:
    // the playlist's entries and the indexes of those in the list, in order.
    std::optional<QString> m_queueID;
    std::optional<QString> m_libraryName;
    QList<PlaylistTrack> m_entries;
    QList<qsizetype> m_shown;
    bool m_libraryCheckPending = false;
};

} // namespace vessa
