#include "Oblin/RepeatMode.h"

#include "VessaCore/Error.h"

#include <QCoreApplication>
#include <QHashFunctions>

namespace vessa {

QString toString(RepeatMode mode)
{
    switch (mode) {
    case RepeatMode::off: return QStringLiteral("off");
    case RepeatMode::all: return QStringLiteral("all");
    case RepeatMode::one: break;
    }
    return QStringLiteral("one");
}

std::optional<RepeatMode> repeatModeFromString(const QString& text)
{
    for (const RepeatMode mode : {RepeatMode::off, RepeatMode::all, RepeatMode::one}) {
        if (text == toString(mode))
            return mode;
    }
    return std::nullopt;
}

RepeatMode next(RepeatMode mode)
{
    switch (mode) {
    case RepeatMode::off: return RepeatMode::all;
    case RepeatMode::all: return RepeatMode::one;
    case RepeatMode::one: break;
    }
    return RepeatMode::off;
}

QJsonValue toJson(RepeatMode mode)
{
    return QJsonValue(toString(mode));
}

RepeatMode repeatModeFromJson(const QJsonValue& value)
{
    if (!value.isString())
        throw JsonDecodingError(
            QCoreApplication::translate("JsonDecodingError", "Expected a string for a repeat mode."));
    if (const std::optional<RepeatMode> mode = repeatModeFromString(value.toString()))
        return *mode;
    throw JsonDecodingError(
        QCoreApplication::translate("JsonDecodingError", "Unknown repeat mode \"%1\".").arg(value.toString()));
}

size_t qHash(RepeatMode mode, size_t seed) noexcept
{
    return ::qHash(toString(mode), seed);
}

} // namespace vessa
