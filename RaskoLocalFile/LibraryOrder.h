#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace vessa {

// The order the library is listed in: by artist, album (both ignoring ASCII
// case), disc-track key ((disc, or 1) * 1000 + (track, or 0)), title
// (ignoring ASCII case), then id. The texts are UTF-8, compared byte by byte
// after folding ASCII letters, exactly as SQLite's NOCASE collation compares
// them, so the order is MediaDatabase::allTracks()'s.
struct LibraryOrder {
    struct Key {
        QByteArrayView artist;
        QByteArrayView album;
        std::optional<qint64> discNumber;
        std::optional<qint64> trackNumber;
        QByteArrayView title;
        qint64 id = 0;
    };

    // -1, 0 or 1 as `a` sorts before, with or after `b`, ignoring ASCII case.
    static int compareIgnoringAsciiCase(QByteArrayView a, QByteArrayView b);
    // The positions of `keys` in the library's order.
    static std::vector<qsizetype> order(const std::vector<Key>& keys);
};

} // namespace vessa
