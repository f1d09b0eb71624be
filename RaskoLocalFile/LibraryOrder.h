#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace vessa {

// The order the library is listed in, and its one definition: by artist,
// album (both ignoring ASCII case), disc-track key (DiscTrackKey), title
// (ignoring ASCII case), then id. The database sorts by the SQL made from
// `fields` here, and its lookup index holds them too; the lists in memory
// compare with the functions here. Texts are UTF-8, compared byte by byte after folding ASCII
// letters, as SQLite's NOCASE collation compares them.
struct LibraryOrder {
    enum class Field { artist, album, discTrack, title, id };
    // The whole order, first field first.
    static constexpr Field fields[] = {Field::artist, Field::album, Field::discTrack, Field::title, Field::id};

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
