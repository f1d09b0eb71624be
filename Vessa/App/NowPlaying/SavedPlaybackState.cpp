#include "Vessa/App/NowPlaying/SavedPlaybackState.h"

#include "Oblin/PlayContext.h"
#include "Vessa/App/AppLogging.h"
#include "VessaCore/Error.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

namespace vessa {

namespace {

const QLatin1String currentTrackKey("currentTrackURI");
const QLatin1String shuffleKey("shuffleEnabled");
const QLatin1String repeatKey("repeatMode");

} // namespace

SavedPlaybackState SavedPlaybackState::of(const PlayContext& context)
{
    SavedPlaybackState state;
    if (const std::optional<TrackRef> track = context.currentTrack())
        state.currentTrackURI = track->uri();
    state.shuffleEnabled = context.shuffleEnabled();
    state.repeatMode = context.repeatMode();
    return state;
}

QByteArray SavedPlaybackState::toJson() const
{
    QJsonObject object;
    if (currentTrackURI)
        object.insert(currentTrackKey, *currentTrackURI);
    object.insert(shuffleKey, shuffleEnabled);
    object.insert(repeatKey, vessa::toJson(repeatMode));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

SavedPlaybackState SavedPlaybackState::fromJson(const QByteArray& json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw JsonDecodingError(
            QCoreApplication::translate("JsonDecodingError", "The saved playback state is not a JSON object."));
    const QJsonObject object = document.object();
    SavedPlaybackState state;
    const QJsonValue track = object.value(currentTrackKey);
    if (track.isString())
        state.currentTrackURI = track.toString();
    else if (!track.isUndefined() && !track.isNull())
        throw JsonDecodingError(
            QCoreApplication::translate("JsonDecodingError", "Expected a string for \"currentTrackURI\"."));
    const QJsonValue shuffle = object.value(shuffleKey);
    if (!shuffle.isBool())
        throw JsonDecodingError(
            QCoreApplication::translate("JsonDecodingError", "Expected a boolean for \"shuffleEnabled\"."));
    state.shuffleEnabled = shuffle.toBool();
    state.repeatMode = repeatModeFromJson(object.value(repeatKey));
    return state;
}

void SavedPlaybackState::save(QSettings& settings) const
{
    settings.setValue(settingsKey, toJson());
}

std::optional<SavedPlaybackState> SavedPlaybackState::load(const QSettings& settings)
{
    const QVariant stored = settings.value(settingsKey);
    if (stored.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    try {
        return fromJson(stored.toByteArray());
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

void SavedPlaybackState::applyTo(PlayContext& context) const
{
    context.setRepeatMode(repeatMode);
    context.setShuffleEnabled(shuffleEnabled);
    if (currentTrackURI)
        context.restorePosition(TrackRef(*currentTrackURI), std::nullopt);
    logDebug(lcApp(),
             QStringLiteral("Restored playback state: repeat=%1, shuffle=%2")
                 .arg(toString(repeatMode), shuffleEnabled ? QStringLiteral("true") : QStringLiteral("false")));
}

} // namespace vessa
