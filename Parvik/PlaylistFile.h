#pragma once

#include "Parvik/Playlist.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>

namespace vessa {

// The program's own playlist file: UTF-8 text, LF after every line.
//   line 1:  "#parvik:" version TAB metadata-json   (written as "#parvik:2\t{}")
//   then:    one entry per line, the URI alone or URI TAB file-hint
// The playlist's name is not stored; the reader is given it. Nothing is
// escaped, so a URI or hint holding a TAB or a line break does not survive.
class PlaylistFile {
public:
    PlaylistFile() = delete;

    static constexpr int currentVersion = 2;
    static constexpr QLatin1String fileExtension{"parvik"};

    static QByteArray serialize(const Playlist& playlist);

    // Throw PlaylistFileError; bytes that are not valid UTF-8 are missingHeader.
    // Either returns the whole playlist or nothing.
    static Playlist parse(const QByteArray& data, const QString& name);
    static Playlist parse(const QString& text, const QString& name);
};

} // namespace vessa
