#pragma once

#include "Parvik/Playlist.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <optional>

namespace vessa {

// A playlist file opened in a window of its own, outside the playlist
// library: an own-format file or an M3U/M3U8 import. Whatever was read, it is
// written back in the own format. A plain value without shared state, so
// reading and writing may run on any thread.
struct PlaylistDocument {
    // The MIME type of own-format playlist files (extension "parvik").
    static constexpr QLatin1String parvikMimeType{"application/x-vessa-parvik"};
    // What a document can be opened from: the own format, then M3U/M3U8.
    static const QStringList& readableMimeTypes();
    // What it is saved as: the own format only.
    static const QStringList& writableMimeTypes();

    Playlist playlist;

    // A new document: an empty playlist named "Untitled".
    PlaylistDocument();
    explicit PlaylistDocument(Playlist playlist);

    // Reads a document from a file's contents (nothing when it has none) and
    // name (nothing when unnamed). The playlist is named after the file
    // without its extension. ".m3u" and ".m3u8" (any letter case) are
    // imported as M3U, ".m3u8" as UTF-8 only; anything else is read as the
    // own format. Throws PlaylistDocumentError (emptyFile, when there are no
    // contents), PlaylistFileError or M3UPlaylistFileError.
    static PlaylistDocument read(std::optional<QByteArray> contents, std::optional<QString> fileName);

    // The playlist in the own format; the name is not written.
    QByteArray write() const;
};

} // namespace vessa
