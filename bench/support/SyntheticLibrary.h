#pragma once

// Rows of a made-up library for the benchmarks that need a large media
// database: track i is the (i % 10 + 1)th track of album (i / 10) % 100 by
// artist i / 1000, a FLAC file under /home/user/Music.
//
// uniqueRow() and writeUniqueFile() make a library whose every artist, album
// and title is different (so no text is shared between tracks), with a small
// tagged WAV file for each row whose date equals the row's: a scan finds
// nothing to read until a file is rewritten.

#include "RaskoLocalFile/MediaDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>

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

// Track i of the unique library under `folder`; `edition` changes its title
// and date, not its file.
inline MediaDatabase::TrackRow uniqueRow(const QString& folder, int i, int edition = 0)
{
    static const char* const words[] = {"Quiet", "River", "Morning", "Static", "Golden", "Harbour", "Velvet"};
    const char* word = words[i % 7];
    const QString title = QStringLiteral("%1 Song Number %2").arg(QLatin1String(word)).arg(i);
    return MediaDatabase::TrackRow(
        0, QStringLiteral("The %1 Players %2").arg(QLatin1String(word)).arg(i),
        QStringLiteral("Collected Recordings Vol. %1").arg(i),
        edition > 0 ? title + QStringLiteral(" (take %1)").arg(edition) : title, 1,
        QStringLiteral("%1/Group %2/Shelf %3/%4 %5.wav").arg(folder).arg(i / 1000).arg(i / 100 % 10).arg(i).arg(title),
        QStringLiteral("wav"), QDateTime::fromMSecsSinceEpoch(1'700'000'000'000 + qint64(i) * 1000 + edition, Qt::UTC),
        std::nullopt, i % 10 + 1, 1);
}

// A short mono WAV file with the row's title, artist and album in its INFO
// list, dated as the row; false when it cannot be written.
inline bool writeUniqueFile(const MediaDatabase::TrackRow& row)
{
    const auto chunk = [](const char* id, const QByteArray& body) {
        QByteArray bytes(id, 4);
        const quint32 size = quint32(body.size());
        bytes.append(reinterpret_cast<const char*>(&size), 4).append(body);
        if (body.size() % 2)
            bytes.append('\0');
        return bytes;
    };
    const auto text = [](const QString& value) { return value.toUtf8() + '\0'; };
    const QByteArray format = QByteArray::fromHex("01000100401f0000803e000002001000"); // PCM, 8 kHz, 16 bit
    const QByteArray info =
        "INFO" + chunk("INAM", text(row.title)) + chunk("IART", text(row.artist)) + chunk("IPRD", text(row.album));
    const QByteArray body = "WAVE" + chunk("fmt ", format) + chunk("LIST", info) + chunk("data", QByteArray(16, 0));
    QDir().mkpath(QFileInfo(row.filePath).absolutePath());
    QFile file(row.filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(chunk("RIFF", body)) < 0)
        return false;
    file.close();
    const qint64 msecs = row.lastModified.toMSecsSinceEpoch();
    const timespec time{msecs / 1000, (msecs % 1000) * 1000000}, times[2] = {time, time};
    return utimensat(AT_FDCWD, QFile::encodeName(row.filePath).constData(), times, 0) == 0;
}

} // namespace vessa::bench
