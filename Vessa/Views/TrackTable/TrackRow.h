#pragma once

#include "Vessa/Views/TrackTable/TrackRowId.h"
#include "VessaCore/TrackRef.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace vessa {

// One displayed row of a track table, in display order: a row's position in
// the list handed to the table is its row number.
struct TrackRow {
    TrackRowId id;       // stays the same when the owner re-sorts or filters
    TrackRef ref;        // what a drag of the row carries
    qsizetype index = 0; // the owner's own index of the item, handed back by onPlay and onRemove
    QString title;
    QString artist;
    QString album;
    std::optional<double> duration; // seconds; none shows an empty cell
    QString trackNumberDisplay;
    bool isPlaying = false;      // speaker mark and a semibold title
    bool isResolvable = true;    // false draws every text of the row in the tertiary colour
    bool isDownloadable = false; // cloud mark when the row is not playing
    QVariant userInfo;           // the owner's payload; the table never reads it
    // Where the row's file lies, as a file hint: a drag carries it with `ref`
    // when it is absolute. None for rows that are bare references.
    std::optional<QString> fileHint;
};

using TrackRows = QList<TrackRow>;

} // namespace vessa
