#include "Vessa/Views/NowPlaying/NowPlayingFormat.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vessa::NowPlayingFormat {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(NowPlayingFormat)
};

} // namespace

QString formatTime(double seconds)
{
    if (!std::isfinite(seconds))
        return QStringLiteral("0:00");
    constexpr double limit = 9.2e18; // inside the signed 64-bit range
    const qint64 total = static_cast<qint64>(std::clamp(seconds, -limit, limit));
    const qint64 minutes = total / 60;
    const qint64 rest = total - 60 * minutes;
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

double progressFraction(double position, std::optional<double> duration)
{
    if (!duration || !(*duration > 0.0) || !std::isfinite(position))
        return 0.0;
    return std::clamp(position / *duration, 0.0, 1.0);
}

ShownTimes shownTimes(const TransportState& transport, double clockPosition, std::optional<double> clockDuration,
                      const std::optional<TrackMetadata>& metadata)
{
    if (transport.kind() != TransportState::Kind::idle)
        return {clockPosition, clockDuration};
    return {0.0, metadata && metadata->duration ? metadata->duration : clockDuration};
}

QString volumeSymbol(double volume)
{
    if (volume == 0.0)
        return QStringLiteral("speaker.slash.fill");
    if (volume < 0.33)
        return QStringLiteral("speaker.wave.1.fill");
    if (volume < 0.66)
        return QStringLiteral("speaker.wave.2.fill");
    return QStringLiteral("speaker.wave.3.fill");
}

QString volumeTooltip(double volume)
{
    const double percent = std::isfinite(volume) ? std::clamp(volume * 100.0, -1e9, 1e9) : 0.0;
    return Text::tr("Volume: %1%").arg(static_cast<qint64>(percent));
}

double afterMuteButton(double volume)
{
    return volume > 0.0 ? 0.0 : 0.75;
}

QString muteButtonSymbol(double volume)
{
    return volume > 0.0 ? QStringLiteral("speaker.slash") : QStringLiteral("speaker.wave.2");
}

QString repeatSymbol(RepeatMode mode)
{
    return mode == RepeatMode::one ? QStringLiteral("repeat.1") : QStringLiteral("repeat");
}

QString repeatTooltip(RepeatMode mode)
{
    switch (mode) {
    case RepeatMode::off: return Text::tr("Repeat: Off");
    case RepeatMode::all: return Text::tr("Repeat: All");
    case RepeatMode::one: return Text::tr("Repeat: One");
    }
    return QString();
}

TrackInfoForm trackInfoForm(const std::optional<TrackRef>& track, const std::optional<TrackMetadata>& metadata,
                            const TransportState& transport)
{
    if (track && metadata)
        return TrackInfoForm::metadata;
    if (track && transport.kind() != TransportState::Kind::idle)
        return TrackInfoForm::loading;
    return TrackInfoForm::notPlaying;
}

QString titleLine(const TrackMetadata& metadata, const TrackRef& track)
{
    if (metadata.title)
        return *metadata.title;
    const QString fromReference = track.track();
    return fromReference.isEmpty() ? Text::tr("Unknown Title") : fromReference;
}

QString artistAlbumLine(const TrackMetadata& metadata)
{
    if (metadata.artist && metadata.album)
        return Text::tr("%1 \u2014 %2").arg(*metadata.artist, *metadata.album);
    return metadata.artist.value_or(metadata.album.value_or(QString()));
}

} // namespace vessa::NowPlayingFormat
