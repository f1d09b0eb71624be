#include "Parvik/PlaylistTrack.h"

namespace vessa {

PlaylistTrack::PlaylistTrack(TrackRef ref) : ref(std::move(ref))
{
}

PlaylistTrack::PlaylistTrack(TrackRef ref, std::optional<QString> fileHint)
    : ref(std::move(ref)), fileHint(std::move(fileHint))
{
}

size_t qHash(const PlaylistTrack& track, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, track.ref.uri());
    seed = combine(seed, track.fileHint.has_value() ? 1 : 0);
    if (track.fileHint)
        seed = combine(seed, *track.fileHint);
    return seed;
}

} // namespace vessa
