#pragma once

#include "Rasko/TrackMetadata.h"
#include "VessaCore/TrackRef.h"
#include "VessaCore/TransportState.h"

#include <QString>

#include <optional>

namespace vessa {

// What the desktop's media controls are told about playback, as MPRIS names
// it: "Playing", "Paused", or "Stopped" while the player is idle.
enum class PlaybackStatus { playing, paused, stopped };

QString toString(PlaybackStatus status);

// The current track as the now-playing display shows it. Texts that come out
// empty are published empty.
struct NowPlayingTrack {
    QString trackId; // a D-Bus object path, see mprisTrackId()
    QString title{};
    QString artist{};
    QString album{};
    std::optional<qint64> lengthMicroseconds{}; // only when the clock knows the duration
    std::optional<QString> artUrl{};            // a file URL of the artwork as PNG

    friend bool operator==(const NowPlayingTrack&, const NowPlayingTrack&) = default;
};

// Everything the now-playing display shows at one moment.
struct NowPlayingSnapshot {
    std::optional<NowPlayingTrack> track{}; // nothing: no current track
    PlaybackStatus status = PlaybackStatus::stopped;
    qint64 positionMicroseconds = 0;
    double volume = 0.0; // perceived, 0 to 1
    bool canPlay = false;
    bool canPause = false;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canSeek = false;

    friend bool operator==(const NowPlayingSnapshot&, const NowPlayingSnapshot&) = default;
};

// What the snapshot is built from, read from the play context, its clock and
// the audio output.
struct NowPlayingInput {
    std::optional<TrackRef> track{};
    std::optional<TrackMetadata> metadata{}; // nothing while it loads or when it cannot be read
    TransportState transport{};
    double position = 0.0;               // seconds
    std::optional<double> duration{};    // seconds
    double volume = 0.0;                 // perceived, 0 to 1
    std::optional<QString> artworkUrl{}; // the written artwork of the metadata's artwork bytes
};

// Titles, artist and album come from the metadata field by field, else from
// the track reference; artwork only with metadata.
NowPlayingSnapshot buildNowPlayingSnapshot(const NowPlayingInput& input);

// Seeking needs a track that the player has loaded.
bool canSeek(const std::optional<TrackRef>& track, TransportState transport);

// A valid D-Bus object path naming the track, whatever its uri holds: every
// byte of the uri's UTF-8 outside [A-Za-z0-9] is written as '_' and two hex
// digits, so different uris give different paths.
QString mprisTrackId(const TrackRef& track);

// Seconds as whole microseconds (rounded); 0 for a value that is not finite.
qint64 microseconds(double seconds);

} // namespace vessa
