#include "Vessa/Views/MainWindow/PlaylistOperations.h"

#include "Parvik/PlaylistLibrary.h"
#include "Parvik/PlaylistLibraryError.h"
#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/Views/MainWindow/SidebarSelection.h"
#include "Vessa/Views/Shared/UntitledName.h"

#include <QMimeData>

#include <algorithm>

namespace vessa {

PlaylistOperations::PlaylistOperations(std::function<PlaylistLibrary&()> library, SidebarSelection& selection,
                                       QObject* parent)
    : QObject(parent), m_library(std::move(library)), m_selection(selection)
{
}

QString PlaylistOperations::firstFreeName(const QList<Playlist>& playlists)
{
    return firstFreeUntitledName([&](const QString& name) {
        return std::any_of(playlists.cbegin(), playlists.cend(),
                           [&](const Playlist& playlist) { return playlist.name == name; });
    });
}

bool PlaylistOperations::attempt(const std::function<void()>& operation)
{
    try {
        operation();
        return true;
    } catch (...) {
        emit failed(std::current_exception());
        return false;
    }
}

void PlaylistOperations::createNewPlaylistInline()
{
    PlaylistLibrary& library = m_library();
    const QString name = firstFreeName(library.playlists());
    if (!attempt([&] { library.create(name); }))
        return;
    m_editingName = name;
    m_editingText = name;
    m_selection.setSource(SidebarSource::playlist(name));
    emit editingChanged();
}

void PlaylistOperations::stopEditing()
{
    m_editingName.clear();
    emit editingChanged();
}

void PlaylistOperations::finalizeRename()
{
    if (!isEditing())
        return;
    const QString oldName = m_editingName;
    const QString newName = m_editingText.trimmed();
    stopEditing();
    if (newName.isEmpty() || newName == oldName)
        return;
    if (attempt([&] { m_library().rename(oldName, newName); }))
        m_selection.setSource(SidebarSource::playlist(newName));
}

void PlaylistOperations::cancelCreation()
{
    if (!isEditing())
        return;
    const QString name = m_editingName;
    stopEditing();
    try {
        m_library().remove(name);
    } catch (...) {
        // The selection moves on all the same.
    }
    m_selection.setSource(SidebarSource::localFiles());
}

void PlaylistOperations::deletePlaylist(const QString& name)
{
    if (!attempt([&] { m_library().remove(name); }))
        return;
    if (m_selection.source() == SidebarSource::playlist(name))
        m_selection.setSource(SidebarSource::localFiles());
}

bool PlaylistOperations::dropOnStarred(const QMimeData& data)
{
    // Only track references count here: files are no library tracks.
    const QList<PlaylistTrack> dropped = extractPlaylistTracks(data, {});
    if (dropped.isEmpty())
        return false;
    attempt([&] {
        PlaylistLibrary& library = m_library();
        for (const PlaylistTrack& track : dropped)
            library.star(track.ref);
    });
    return true;
}

bool PlaylistOperations::dropOnPlaylist(const QString& name, const QMimeData& data,
                                        const QSet<QString>& supportedExtensions)
{
    const QList<PlaylistTrack> dropped = extractPlaylistTracks(data, supportedExtensions);
    if (dropped.isEmpty())
        return false;
    attempt([&] {
        PlaylistLibrary& library = m_library();
        std::optional<Playlist> playlist = library.playlist(name);
        if (!playlist)
            throw PlaylistLibraryError::playlistNotFound(name);
        for (const PlaylistTrack& track : dropped)
            playlist->append(track);
        library.save(*playlist);
    });
    return true;
}

} // namespace vessa
