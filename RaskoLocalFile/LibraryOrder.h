#pragma once

#include "RaskoLocalFile/MediaDatabase.h"

#include <QList>
#include <QStringView>

namespace vessa {

// The order the library is listed in: by artist, album (both ignoring ASCII
// case), disc-track key ((disc, or 1) * 1000 + (track, or 0)), title
// (ignoring ASCII case), then id. Texts compare by code point, as SQLite's
// NOCASE compares UTF-8, so the order is the one an ORDER BY with those
// collations gives; sorting here instead of in SQLite reads the table in one
// pass without the random lookups of an index walk.
struct LibraryOrder {
    // -1, 0 or 1 as `a` sorts before, with or after `b`, ignoring ASCII case.
    static int compareIgnoringAsciiCase(QStringView a, QStringView b);
    static void sort(QList<MediaDatabase::TrackRow>& rows);
};

} // namespace vessa
