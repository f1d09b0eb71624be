#include "Vessa/App/NowPlaying/MprisProperties.h"

#include <QDBusObjectPath>

namespace vessa {

QVariantMap mprisMetadata(const std::optional<NowPlayingTrack>& track)
{
    QVariantMap map;
    if (!track)
        return map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(track->trackId)));
    map.insert(QStringLiteral("xesam:title"), track->title);
    map.insert(QStringLiteral("xesam:artist"), QStringList{track->artist});
    map.insert(QStringLiteral("xesam:album"), track->album);
    if (track->lengthMicroseconds)
        map.insert(QStringLiteral("mpris:length"), qlonglong(*track->lengthMicroseconds));
    if (track->artUrl)
        map.insert(QStringLiteral("mpris:artUrl"), *track->artUrl);
    return map;
}

QVariantMap changedPlayerProperties(const NowPlayingSnapshot& before, const NowPlayingSnapshot& after)
{
    QVariantMap changed;
    if (before.status != after.status)
        changed.insert(QStringLiteral("PlaybackStatus"), toString(after.status));
    if (before.track != after.track)
        changed.insert(QStringLiteral("Metadata"), mprisMetadata(after.track));
    if (before.volume != after.volume)
        changed.insert(QStringLiteral("Volume"), after.volume);
    const auto flag = [&](const char* name, bool NowPlayingSnapshot::*field) {
        if (before.*field != after.*field)
            changed.insert(QLatin1String(name), after.*field);
    };
    flag("CanPlay", &NowPlayingSnapshot::canPlay);
    flag("CanPause", &NowPlayingSnapshot::canPause);
    flag("CanGoNext", &NowPlayingSnapshot::canGoNext);
    flag("CanGoPrevious", &NowPlayingSnapshot::canGoPrevious);
    flag("CanSeek", &NowPlayingSnapshot::canSeek);
    return changed;
}

} // namespace vessa
