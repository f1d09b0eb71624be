#pragma once

#include "VessaCore/TrackRef.h"

#include <QHashFunctions>
#include <QString>

#include <functional>
#include <optional>

namespace vessa {

// One playlist entry: the track, and where its file is expected to lie (a file
// hint, see Rasko/FileHint.h). An empty hint is a present hint, not an absent one.
struct PlaylistTrack {
    TrackRef ref;
    std::optional<QString> fileHint;

    PlaylistTrack() = default;
    explicit PlaylistTrack(TrackRef ref);
    PlaylistTrack(TrackRef ref, std::optional<QString> fileHint);

    friend bool operator==(const PlaylistTrack& a, const PlaylistTrack& b)
    {
        return a.ref == b.ref && a.fileHint == b.fileHint;
    }
};

// Feeds the URI, then 0 for no hint or 1 followed by the hint.
size_t qHash(const PlaylistTrack& track, size_t seed = 0) noexcept;

} // namespace vessa

template <>
struct std::hash<vessa::PlaylistTrack> {
    size_t operator()(const vessa::PlaylistTrack& track) const noexcept { return vessa::qHash(track); }
};
