#pragma once

#include "Parvik/PlaylistFile.h"
#include "fuzz/FuzzInput.h"

namespace vessa::fuzz {

// A playlist written in the own format and read again has the same entries,
// unless a reference or hint holds a TAB or a line break: the format escapes
// nothing, so those cannot be written.
inline void checkPlaylistRoundTrip(const Playlist& playlist)
{
    const auto plain = [](const QString& text) {
        return !text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r');
    };
    for (const PlaylistTrack& track : playlist.tracks) {
        if (!plain(track.ref.uri()) || !plain(track.fileHint.value_or(QString())))
            return;
    }
    const Playlist again = PlaylistFile::parse(PlaylistFile::serialize(playlist), playlist.name);
    check(again.tracks == playlist.tracks, "a playlist survives being written and read again");
}

} // namespace vessa::fuzz
