#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>

namespace vessa {

// What happens at the end of a track and of the queue: "off" ends the queue
// after its last entry, "all" wraps to the first, "one" replays the track
// (and decoders loop it endlessly). Stored and encoded as its raw text.
enum class RepeatMode { off, all, one };

// "off", "all" or "one".
QString toString(RepeatMode mode);
// The mode whose raw text equals `text` exactly (no trimming, lower case only).
std::optional<RepeatMode> repeatModeFromString(const QString& text);
// The following mode of the cycle off, all, one, off.
RepeatMode next(RepeatMode mode);

// The raw text as a JSON string value.
QJsonValue toJson(RepeatMode mode);
// Throws JsonDecodingError unless `value` is a string holding a raw text.
RepeatMode repeatModeFromJson(const QJsonValue& value);

// Hashes the raw text.
size_t qHash(RepeatMode mode, size_t seed = 0) noexcept;

} // namespace vessa
