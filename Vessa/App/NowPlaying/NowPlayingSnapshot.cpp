#include "Vessa/App/NowPlaying/NowPlayingSnapshot.h"

#include <cmath>
#include <limits>

namespace vessa {

namespace {

const QString trackIdPrefix = QStringLiteral("/com/tornwick/vessa/track/");

// The metadata's field when it has one, else the reference's.
QString fieldOrFallback(const std::optional<TrackMetadata>& metadata, std::optional<QString> TrackMetadata::*field,
                        const QString& fallback)
{
    if (metadata && (*metadata).*field)
        return *((*metadata).*field);
    return fallback;
}

PlaybackStatus statusOf(TransportState transport)
{
    switch (transport.kind()) {
    case TransportState::Kind::playing: return PlaybackStatus::playing;
    case TransportState::Kind::paused: return PlaybackStatus::paused;
    case TransportState::Kind::idle: break;
    }
    return PlaybackStatus::stopped;
}

} // namespace

QString toString(PlaybackStatus status)
{
    switch (status) {
    case PlaybackStatus::playing: return QStringLiteral("Playing");
    case PlaybackStatus::paused: return QStringLiteral("Paused");
    case PlaybackStatus::stopped: break;
    }
    return QStringLiteral("Stopped");
}

NowPlayingSnapshot buildNowPlayingSnapshot(const NowPlayingInput& input)
{
    NowPlayingSnapshot snapshot;
    snapshot.status = statusOf(input.transport);
    snapshot.positionMicroseconds = microseconds(input.position);
    snapshot.volume = input.volume;
    if (!input.track)
        return snapshot;

    const TrackRef& ref = *input.track;
    NowPlayingTrack track{.trackId = mprisTrackId(ref)};
    track.title = fieldOrFallback(input.metadata, &TrackMetadata::title, ref.track());
    track.artist = fieldOrFallback(input.metadata, &TrackMetadata::artist, ref.artist());
    track.album = fieldOrFallback(input.metadata, &TrackMetadata::album, ref.album());
    if (input.duration)
        track.lengthMicroseconds = microseconds(*input.duration);
    if (input.metadata)
        track.artUrl = input.artworkUrl;
    snapshot.track = std::move(track);

    snapshot.canPlay = true;
    snapshot.canPause = true;
    snapshot.canGoNext = true;
    snapshot.canGoPrevious = true;
    snapshot.canSeek = canSeek(input.track, input.transport);
    return snapshot;
}

bool canSeek(const std::optional<TrackRef>& track, TransportState transport)
{
    return track.has_value() && transport.kind() != TransportState::Kind::idle;
}

QString mprisTrackId(const TrackRef& track)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    const QByteArray utf8 = track.uri().toUtf8();
    QString element;
    element.reserve(utf8.size() * 3);
    for (const char byte : utf8) {
        const auto code = static_cast<unsigned char>(byte);
        if ((code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z') || (code >= '0' && code <= '9')) {
            element.append(QLatin1Char(byte));
        } else {
            element.append(u'_');
            element.append(QLatin1Char(hexDigits[code >> 4]));
            element.append(QLatin1Char(hexDigits[code & 0x0F]));
        }
    }
    // An element of an object path may not be empty.
    if (element.isEmpty())
        element = QStringLiteral("_");
    return trackIdPrefix + element;
}

qint64 microseconds(double seconds)
{
    const double value = std::round(seconds * 1e6);
    if (!std::isfinite(value))
        return 0;
    constexpr double limit = static_cast<double>(std::numeric_limits<qint64>::max());
    if (value >= limit)
        return std::numeric_limits<qint64>::max();
    if (value <= -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(value);
}

} // namespace vessa
