#pragma once

#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <optional>

namespace vessa {

// The key that puts an album's tracks in disc and track order, the one the
// library's order (LibraryOrder, in memory and in SQL) and the track lists'
// "#" column both sort by: (disc, or 1) * 1000 + (track, or 0). A disc
// without a number counts as disc 1, a track without one as track 0, and
// each disc takes `keysPerDisc` keys.
//
// A tag may hold any 64-bit number. So that the key always fits 64 bits,
// the disc is held within +/-maximumDisc and the track within
// +/-maximumTrack first: beyond those, numbers count as the bound (a huge
// disc sorts last, a hugely negative one first). No real tag comes near.
struct DiscTrackKey {
    static constexpr qint64 discWithoutNumber = 1;
    static constexpr qint64 trackWithoutNumber = 0;
    static constexpr qint64 keysPerDisc = 1000;
    static constexpr qint64 maximumDisc = 9'200'000'000'000'000'000 / keysPerDisc;
    static constexpr qint64 maximumTrack = 20'000'000'000'000'000;

    static constexpr qint64 of(std::optional<qint64> discNumber, std::optional<qint64> trackNumber)
    {
        return std::clamp(discNumber.value_or(discWithoutNumber), -maximumDisc, maximumDisc) * keysPerDisc
               + std::clamp(trackNumber.value_or(trackWithoutNumber), -maximumTrack, maximumTrack);
    }
};

static_assert(DiscTrackKey::maximumDisc * DiscTrackKey::keysPerDisc + DiscTrackKey::maximumTrack
              <= std::numeric_limits<qint64>::max());

} // namespace vessa
