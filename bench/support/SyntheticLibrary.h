#pragma once

// Rows of a made-up library for the benchmarks that need a large media
// database: track i is the (i % 10 + 1)th track of album (i / 10) % 100 by
// artist i / 1000, a FLAC file under /home/user/Music.

#include "RaskoLocalFile/MediaDatabase.h"

#include <QDateTime>

namespace vessa::bench {

inline MediaDatabase::TrackRow syntheticRow(int i)
{
    const int artist = i / 1000;
    const int album = (i / 10) % 100;
    return MediaDatabase::TrackRow(
        0, QStringLiteral("Artist %1").arg(artist), QStringLiteral("Album %1").arg(album),
        QStringLiteral("Track %1").arg(i % 10), 180 + i % 120,
        QStringLiteral("/home/user/Music/Artist %1/Album %2/%3 Track.flac").arg(artist).arg(album).arg(i),
        QStringLiteral("flac"), QDateTime::fromMSecsSinceEpoch(1'700'000'000'000 + i), std::nullopt, i % 10 + 1, 1);
}

// Writes rows 0 to rows - 1 in upserts of `batchSize` rows.
inline void fillSyntheticLibrary(MediaDatabase& database, int rows, int batchSize)
{
    QList<MediaDatabase::TrackRow> batch;
    for (int i = 0; i < rows; ++i) {
        batch.append(syntheticRow(i));
        if (batch.size() == batchSize || i == rows - 1) {
            database.upsert(batch);
            batch.clear();
        }
    }
}

} // namespace vessa::bench
