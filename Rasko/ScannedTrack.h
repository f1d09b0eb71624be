#pragma once

#include "VessaCore/TrackRef.h"

#include <QString>

#include <optional>

namespace vessa {

// One library entry as the views list it. `fileURL` is the indexed path; for
// an archive member it is "archive path::member path" and names no file on disk.
struct ScannedTrack {
    TrackRef ref;
    QString title;
    QString artist;
    QString album;
    std::optional<double> duration;
    std::optional<qint64> trackNumber;
    std::optional<qint64> discNumber;
    QString fileURL;

    ScannedTrack() = default;
    ScannedTrack(TrackRef ref, QString title, QString artist, QString album, std::optional<double> duration,
                 std::optional<qint64> trackNumber, std::optional<qint64> discNumber, QString fileURL)
        : ref(std::move(ref)),
          title(std::move(title)),
          artist(std::move(artist)),
          album(std::move(album)),
          duration(duration),
          trackNumber(trackNumber),
          discNumber(discNumber),
          fileURL(std::move(fileURL))
    {
    }

    friend bool operator==(const ScannedTrack&, const ScannedTrack&) = default;
};

} // namespace vessa
