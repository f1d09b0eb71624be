#pragma once

// Rows for a track table, as an owner hands them over.

#include "Vessa/Views/TrackTable/TrackRow.h"

#include <QStringList>

namespace vessa::test {

// One row per title, by "Artist" on "Album", three minutes long; `index` is
// the owner's position of the item, which differs from the display position
// once the owner sorts (by default the position in `titles`).
inline TrackRows rowsFor(const QStringList& titles, const QList<qsizetype>& indexes = {})
{
    TrackRows rows;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        TrackRow row;
        row.ref = TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), titles[i], 180);
        row.id = TrackRowId(row.ref);
        row.index = indexes.isEmpty() ? i : indexes[i];
        row.title = titles[i];
        row.artist = row.ref.artist();
        row.album = row.ref.album();
        row.duration = 180.0;
        rows.append(row);
    }
    return rows;
}

// Rows "Track 00000", "Track 00001" ...
inline TrackRows numberedRows(int count)
{
    QStringList titles;
    for (int i = 0; i < count; ++i)
        titles << QStringLiteral("Track %1").arg(i, 5, 10, QLatin1Char('0'));
    return rowsFor(titles);
}

} // namespace vessa::test
