#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace vessa {

// The order the library is listed in, and its one definition: by artist,
// album (both ignoring ASCII case), disc-track key, title (ignoring ASCII
// case), then id. The database sorts by the SQL made from `fields` here, and
// its lookup index holds them too; the lists in memory compare with the
// functions here. Texts are UTF-8, compared byte by byte after folding ASCII
// letters, as SQLite's NOCASE collation compares them.
struct LibraryOrder {
    enum class Field { artist, album, discTrack, title, id };
    // The whole order, first field first.
    static constexpr Field fields[] = {Field::artist, Field::album, Field::discTrack, Field::title, Field::id};

    // The disc-track key puts an album's tracks in disc and track order: a
    // disc without a number counts as disc 1, a track without one as track
    // 0, and each disc takes `keysPerDisc` keys.
    static constexpr qint64 discWithoutNumber = 1;
    static constexpr qint64 trackWithoutNumber = 0;
    static constexpr qint64 keysPerDisc = 1000;

    // (disc, or 1) * 1000 + (track, or 0). Wide enough that no stored
    // numbers overflow; SQLite turns an overflowing product into a real,
    // which this matches closely.
    static long double discTrackKey(std::optional<qint64> discNumber, std::optional<qint64> trackNumber);

    // `fields` as SQL over the `tracks` table: the whole order (ORDER BY),
    // the order the lookup index gives without a sort (every field but the
    // disc-track key), and that index's columns (those but the id, which an
    // index keeps with each entry anyway).
    enum class Sql { order, lookupOrder, lookupIndexColumns };
    static QByteArray sql(Sql which);

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
