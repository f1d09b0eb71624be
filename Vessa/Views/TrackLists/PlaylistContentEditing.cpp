// The edits of PlaylistContentModel: every change of the shown playlist goes
// through mutatePlaylist.

#include "Vessa/Views/TrackLists/PlaylistContentModel.h"

#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/Views/Shared/PluralForm.h"
#include "Vessa/Views/TrackLists/TrackListMenus.h"
#include "VessaCore/ExceptionDescription.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace vessa {

void PlaylistContentModel::mutatePlaylist(const std::function<void(Playlist&, QList<qsizetype>& origins)>& change)
{
    const bool isDocument = m_storage.isDocument();
    std::optional<Playlist> changed = isDocument
                                          ? std::optional<Playlist>(m_storage.document()->playlist)
                                          : m_services.playlistQueue.playlistLibrary().playlist(m_storage.name());
    if (!changed)
        return;
    // The change works on a copy, so an index out of range (a stale gesture)
    // leaves the playlist as it was.
    PlaylistEdit edit{changed->tracks, {}, QList<qsizetype>(changed->tracks.size())};
    std::iota(edit.origins.begin(), edit.origins.end(), qsizetype(0));
    try {
        change(*changed, edit.origins);
    } catch (const std::out_of_range&) {
        return;
    }
    edit.after = changed->tracks;
    // The queue loaded from this playlist follows the edit as it was made
    // once the new version is shown (in reloadEntries).
    m_edit = std::move(edit);
    const auto editShown = qScopeGuard([this] { m_edit.reset(); });
    if (isDocument) {
        m_storage.document()->playlist = std::move(*changed);
        reloadEntries();
        emit documentEdited();
        return;
    }
    // Saved at once: the next edit starts from this version. The view follows
    // when the library publishes it, so a failed save leaves it as it was.
    try {
        m_services.playlistQueue.playlistLibrary().save(*changed);
    } catch (const std::exception&) {
        qCCritical(lcPlaylistContent, "Failed to save playlist '%s': %s", qUtf8Printable(m_storage.name()),
                   qUtf8Printable(describeException(std::current_exception())));
        m_services.showError(std::current_exception());
    }
}

void PlaylistContentModel::removeTrack(qsizetype index)
{
    mutatePlaylist([index](Playlist& playlist, QList<qsizetype>& origins) {
        playlist.remove(index);
        origins.removeAt(index);
    });
}

void PlaylistContentModel::removeTracks(QList<qsizetype> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (indexes.isEmpty())
        return;
    mutatePlaylist([&indexes](Playlist& playlist, QList<qsizetype>& origins) {
        for (auto it = indexes.crbegin(); it != indexes.crend(); ++it) {
            playlist.remove(*it);
            origins.removeAt(*it);
        }
    });
}

void PlaylistContentModel::moveTrack(qsizetype source, qsizetype destination)
{
    mutatePlaylist([=](Playlist& playlist, QList<qsizetype>& origins) {
        playlist.move(source, destination);
        // Where Playlist::move puts it: in front of the entry at `destination` before the move.
        origins.insert(source < destination ? destination - 1 : destination, origins.takeAt(source));
    });
}

void PlaylistContentModel::handleReorder(const QList<int>& rows, int destination)
{
    if (rows.isEmpty())
        return;
    moveTrack(*std::min_element(rows.cbegin(), rows.cend()), destination);
}

void PlaylistContentModel::handleDrop(const QList<PlaylistTrack>& tracks, int row)
{
    QList<PlaylistTrack> inserted = tracks;
    if (m_storage.isStarred()) {
        // Starring a track twice would leave it starred after one unstar.
        QSet<TrackRef> seen;
        for (const PlaylistTrack& entry : std::as_const(m_entries))
            seen.insert(entry.ref);
        inserted.removeIf([&seen](const PlaylistTrack& track) {
            if (seen.contains(track.ref))
                return true;
            seen.insert(track.ref);
            return false;
        });
    }
    if (inserted.isEmpty())
        return;
    mutatePlaylist([&inserted, row](Playlist& playlist, QList<qsizetype>& origins) {
        const qsizetype base = std::min<qsizetype>(std::max(row, 0), playlist.tracks.size());
        for (qsizetype k = 0; k < inserted.size(); ++k) {
            playlist.insert(inserted[k], base + k);
            origins.insert(base + k, -1);
        }
    });
}

QList<TrackContextMenuItem> PlaylistContentModel::contextMenu(const TrackRows& rows)
{
    if (rows.isEmpty())
        return {};
    const qsizetype first = rows.first().index;
    QList<TrackContextMenuItem> items = TrackListMenus::trackItems(
        m_services, m_revealer, rows, [this, first] { playTrack(first); }, m_storage.isLibrary());
    items.append(TrackContextMenuItem::divider());
    QList<qsizetype> indexes;
    for (const TrackRow& row : rows)
        indexes.append(row.index);
    const QString title = rows.size() == 1 ? QCoreApplication::translate("TrackLists", "Remove from Playlist")
                                           : QCoreApplication::translate("TrackLists", "Remove %1 from Playlist",
                                                                         nullptr, pluralFormCount(rows.size()))
                                                 .arg(rows.size());
    items.append(TrackContextMenuItem::button(title, QStringLiteral("minus.circle"),
                                              TrackContextMenuItem::ButtonRole::Destructive,
                                              [this, indexes] { removeTracks(indexes); }));
    return items;
}

void PlaylistContentModel::copyToLibrary()
{
    if (!m_storage.isDocument())
        return;
    Playlist taken = m_storage.document()->playlist;
    // Library playlists are read without a file location: hints that count
    // from the document's folder name their files in full in the copy.
    taken.rebaseFileHints(playlistFilePath(), std::nullopt);
    PlaylistLibrary& library = m_services.playlistQueue.playlistLibrary();
    const auto nameTaken = [&library](const QString& name) {
        const QList<Playlist>& playlists = library.playlists();
        return std::any_of(playlists.cbegin(), playlists.cend(),
                           [&name](const Playlist& playlist) { return playlist.name == name; });
    };
    QString name = taken.name;
    for (int number = 2; nameTaken(name); ++number)
        name = taken.name + QLatin1Char(' ') + QString::number(number);

    try {
        Playlist created = library.create(name);
        for (const PlaylistTrack& entry : taken.tracks)
            created.append(entry);
        library.save(created);
    } catch (const std::exception&) {
        qCCritical(lcPlaylistContent, "Failed to copy playlist to library: %s",
                   qUtf8Printable(describeException(std::current_exception())));
        m_services.showError(std::current_exception());
        return;
    }
    m_copiedToLibrary = true;
    qCInfo(lcPlaylistContent, "Copied playlist '%s' to library as '%s'", qUtf8Printable(taken.name),
           qUtf8Printable(name));
    emit copiedToLibraryChanged();
}

} // namespace vessa
