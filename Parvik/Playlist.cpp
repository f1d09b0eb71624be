#include "Parvik/Playlist.h"

#include "Rasko/FileHint.h"

#include <stdexcept>

namespace vessa {

namespace {

void checkIndex(qsizetype index, qsizetype limit, const char* what)
{
    if (index < 0 || index > limit)
        throw std::out_of_range(what);
}

} // namespace

Playlist::Playlist(QString name, QList<PlaylistTrack> tracks) : name(std::move(name)), tracks(std::move(tracks))
{
}

Playlist::Playlist(QString name, const QList<TrackRef>& refs) : name(std::move(name))
{
    tracks.reserve(refs.size());
    for (const TrackRef& ref : refs)
        tracks.append(PlaylistTrack(ref));
}

void Playlist::append(const PlaylistTrack& track)
{
    tracks.append(track);
}

void Playlist::append(const TrackRef& ref)
{
    tracks.append(PlaylistTrack(ref));
}

void Playlist::insert(const PlaylistTrack& track, qsizetype index)
{
    checkIndex(index, tracks.size(), "Playlist::insert: index out of range");
    tracks.insert(index, track);
}

void Playlist::insert(const TrackRef& ref, qsizetype index)
{
    insert(PlaylistTrack(ref), index);
}

PlaylistTrack Playlist::remove(qsizetype index)
{
    checkIndex(index, tracks.size() - 1, "Playlist::remove: index out of range");
    return tracks.takeAt(index);
}

void Playlist::move(qsizetype source, qsizetype destination)
{
    checkIndex(source, tracks.size() - 1, "Playlist::move: source out of range");
    checkIndex(destination, tracks.size(), "Playlist::move: destination out of range");
    PlaylistTrack track = tracks.takeAt(source);
    tracks.insert(source < destination ? destination - 1 : destination, std::move(track));
}

bool Playlist::contains(const TrackRef& ref) const
{
    for (const PlaylistTrack& track : tracks) {
        if (track.ref == ref)
            return true;
    }
    return false;
}

void Playlist::rebaseFileHints(const std::optional<QString>& fromFilePath, const std::optional<QString>& toFilePath)
{
    for (PlaylistTrack& track : tracks) {
        if (track.fileHint)
            track.fileHint = FileHint::rebase(*track.fileHint, fromFilePath, toFilePath);
    }
}

} // namespace vessa
