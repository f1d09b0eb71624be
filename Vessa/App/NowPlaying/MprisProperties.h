#pragma once

#include "Vessa/App/NowPlaying/NowPlayingSnapshot.h"

#include <QVariantMap>

namespace vessa {

// The MPRIS names of the bus objects and interfaces.
namespace mpris {
inline QString objectPath()
{
    return QStringLiteral("/org/mpris/MediaPlayer2");
}
inline QString playerInterface()
{
    return QStringLiteral("org.mpris.MediaPlayer2.Player");
}
} // namespace mpris

// The MPRIS metadata map (a{sv}) of the current track; empty without one.
QVariantMap mprisMetadata(const std::optional<NowPlayingTrack>& track);

// The Player properties whose value differs between two snapshots, by their
// MPRIS names, ready for PropertiesChanged. The position is never among them:
// it changes all the time, and clients ask for it or follow Seeked.
QVariantMap changedPlayerProperties(const NowPlayingSnapshot& before, const NowPlayingSnapshot& after);

} // namespace vessa
