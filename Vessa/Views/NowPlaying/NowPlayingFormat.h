#pragma once

#include "Oblin/RepeatMode.h"
#include "Rasko/TrackMetadata.h"
#include "VessaCore/TrackRef.h"
#include "VessaCore/TransportState.h"

#include <QString>

#include <optional>

namespace vessa {

// The now-playing bar's decisions and texts, apart from its widgets.
namespace NowPlayingFormat {

// "m:ss" of the whole seconds (truncated toward zero); minutes are not
// capped: 3725 -> "62:05". A value that is not finite reads "0:00"; one
// beyond the 64-bit range is clamped to it.
QString formatTime(double seconds);

// position / duration when the duration is above 0, else 0; within 0...1.
double progressFraction(double position, std::optional<double> duration);
// The elapsed time and the length the bar shows.
struct ShownTimes {
    double position = 0.0;
    std::optional<double> length;
};
// While a track plays or is paused, the clock's position and duration. While
// the player is idle (the queue has ended, nothing has played yet) the track
// shown stands at its start, with the length its tags know (else the clock's
// last duration), as a play would start it again.
ShownTimes shownTimes(const TransportState& transport, double clockPosition, std::optional<double> clockDuration,
                      const std::optional<TrackMetadata>& metadata);

// Exactly 0: "speaker.slash.fill"; below 0.33: "speaker.wave.1.fill"; below
// 0.66: "speaker.wave.2.fill"; else "speaker.wave.3.fill".
QString volumeSymbol(double volume);
// "Volume: 75%" of the truncated percentage.
QString volumeTooltip(double volume);
// The mute button: above 0 mutes to 0, else unmutes to 0.75.
double afterMuteButton(double volume);
QString muteButtonSymbol(double volume);

QString repeatSymbol(RepeatMode mode);
// "Repeat: Off", "Repeat: All" or "Repeat: One".
QString repeatTooltip(RepeatMode mode);

enum class TrackInfoForm {
    metadata,   // artwork, title, artist — album
    loading,    // a spinner and the reference's track field
    notPlaying, // "Not Playing"
};
TrackInfoForm trackInfoForm(const std::optional<TrackRef>& track, const std::optional<TrackMetadata>& metadata,
                            const TransportState& transport);

// The tags' title; without one the reference's track field (what the track
// lists show for untagged files, chip sub-tracks and playlist entries);
// "Unknown Title" only when that is empty too.
QString titleLine(const TrackMetadata& metadata, const TrackRef& track);
// "Artist — Album", the artist or the album alone, or nothing.
QString artistAlbumLine(const TrackMetadata& metadata);

} // namespace NowPlayingFormat

} // namespace vessa
