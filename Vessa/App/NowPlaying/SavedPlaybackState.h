#pragma once

#include "Oblin/RepeatMode.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>

#include <optional>

class QSettings;

namespace vessa {

class PlayContext;

// What a quit remembers of playback: the current track, shuffle and repeat.
// Stored as JSON bytes under "playbackState"; the queue and the position in
// the track are not kept (the queue is rebuilt from the library).
struct SavedPlaybackState {
    static constexpr QLatin1String settingsKey{"playbackState"};

    std::optional<QString> currentTrackURI;
    bool shuffleEnabled = false;
    RepeatMode repeatMode = RepeatMode::off;

    // The record of the play context as it is now.
    static SavedPlaybackState of(const PlayContext& context);

    // {"currentTrackURI": ..., "shuffleEnabled": ..., "repeatMode": ...};
    // without a current track the key is left out.
    QByteArray toJson() const;
    // Needs a JSON object with a boolean "shuffleEnabled" and a "repeatMode"
    // holding "off", "all" or "one"; "currentTrackURI" may be missing or null
    // and is otherwise a string. Throws JsonDecodingError.
    static SavedPlaybackState fromJson(const QByteArray& json);

    // Replaces the stored record.
    void save(QSettings& settings) const;
    // The stored record, or nothing when none is stored (as bytes) or it does
    // not decode.
    static std::optional<SavedPlaybackState> load(const QSettings& settings);

    // Sets repeat and shuffle, then makes the saved track current when the
    // queue holds it (without playing it), and logs what was restored.
    void applyTo(PlayContext& context) const;

    friend bool operator==(const SavedPlaybackState&, const SavedPlaybackState&) = default;
};

} // namespace vessa
