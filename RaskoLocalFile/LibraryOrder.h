#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace vessa {

// The order the library is listed in: by artist, album (both ignoring ASCII
// case), disc-track key ((disc, or 1) * 1000 + (track, or 0)), title
// (ignoring ASCII case), then id. The database's lookup index gives all but
// the disc-track key; this puts each album's tracks in disc and track order.
// Texts are UTF-8, compared byte by byte after folding ASCII letters, as
// SQLite's NOCASE collation compares them.
struct LibraryOrder {
    struct Key {
        QByteArrayView artist;
        QByteArrayView album;
        std::optional<qint64> discNumber;
        std::optional<qint64> trackNumber;
    };

    // -1, 0 or 1 as `a` sorts before, with or after `b`, ignoring ASCII case.
    static int compareIgnoringAsciiCase(QByteArrayView a, QByteArrayView b);
    // `positions` index `keys` and come in the lookup index's order (artist,
    // album and title ignoring ASCII case, then id); each run of one artist
    // and album is sorted by disc-track key, keeping the order of ties.
    static void sortAlbums(std::vector<qsizetype>& positions, const std::vector<Key>& keys);
};

} // namespace vessa
