#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vessa {

// The tags of one track; whatever could not be read stays absent. Build it
// with designated initialisers: TrackMetadata{.title = t, .trackNumber = n}.
struct TrackMetadata {
    std::optional<QString> title{};
    std::optional<QString> artist{};
    std::optional<QString> album{};
    std::optional<double> duration{};
    std::optional<QByteArray> artworkData{};
    std::optional<qint64> subTrackIndex{};
    std::optional<qint64> trackNumber{};
    std::optional<qint64> discNumber{};

    friend bool operator==(const TrackMetadata&, const TrackMetadata&) = default;
};

} // namespace vessa
