#pragma once

#include <QString>

#include <optional>

namespace vessa {

// One sub-track found by a MultiTrackScanner. `index` is zero-based and is
// what later goes to open and extract as the sub-track index.
struct ScannedSubTrack {
    qint64 index = 0;
    QString title;
    QString artist;
    QString album;
    std::optional<double> duration;

    ScannedSubTrack() = default;
    ScannedSubTrack(qint64 index, QString title, QString artist, QString album, std::optional<double> duration)
        : index(index), title(std::move(title)), artist(std::move(artist)), album(std::move(album)), duration(duration)
    {
    }

    friend bool operator==(const ScannedSubTrack&, const ScannedSubTrack&) = default;
};

} // namespace vessa
