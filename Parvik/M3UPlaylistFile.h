#pragma once

#include "Parvik/Playlist.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace vessa {

// Imports M3U and M3U8 playlists (there is no writer). Every local path line
// becomes an entry whose TrackRef is made from the preceding "#EXTINF:" line
// (or the file name) and whose file hint points at the path as written;
// remote streams, directives and comments are skipped.
class M3UPlaylistFile {
public:
    M3UPlaylistFile() = delete;

    // UTF-8, else Latin-1 unless `isUTF8Only` (set for ".m3u8" files).
    // `baseURL` is not used: relative paths stay relative in the hints.
    // Throws M3UPlaylistFileError.
    static Playlist parse(const QByteArray& data, const QString& name, bool isUTF8Only,
                          const std::optional<QUrl>& baseURL);
    static Playlist parse(const QString& text, const QString& name, const std::optional<QUrl>& baseURL);
};

} // namespace vessa
