#include "VessaCore/AudioFormat.h"

#include "VessaCore/Error.h"

#include <QCoreApplication>
#include <QJsonValue>

#include <cmath>

namespace vessa {

namespace {

QJsonValue requireKey(const QJsonValue& value, const char* key)
{
    if (value.isUndefined())
        throw JsonDecodingError(QCoreApplication::translate("JsonDecodingError", "No value associated with key \"%1\".")
                                    .arg(QLatin1String(key)));
    return value;
}

qint64 requireInteger(const QJsonObject& object, const char* key)
{
    const QJsonValue value = requireKey(object.value(QLatin1String(key)), key);
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::trunc(number) != number || std::abs(number) > 9.007199254740992e15)
        throw JsonDecodingError(QCoreApplication::translate("JsonDecodingError", "Expected an integer for key \"%1\".")
                                    .arg(QLatin1String(key)));
    return static_cast<qint64>(number);
}

} // namespace

QJsonObject AudioFormat::toJson() const
{
    return QJsonObject{
        {QStringLiteral("sampleRate"), sampleRate},
        {QStringLiteral("channelCount"), channelCount},
        {QStringLiteral("bytesPerSample"), bytesPerSample},
        {QStringLiteral("interleaved"), interleaved},
    };
}

AudioFormat AudioFormat::fromJson(const QJsonObject& object)
{
    const QJsonValue rate = requireKey(object.value(QLatin1String("sampleRate")), "sampleRate");
    if (!rate.isDouble())
        throw JsonDecodingError(
            QCoreApplication::translate("JsonDecodingError", "Expected a number for key \"sampleRate\"."));
    const qint64 channels = requireInteger(object, "channelCount");
    const qint64 bytes = requireInteger(object, "bytesPerSample");
    const QJsonValue interleaved = requireKey(object.value(QLatin1String("interleaved")), "interleaved");
    if (!interleaved.isBool())
        throw JsonDecodingError(
            QCoreApplication::translate("JsonDecodingError", "Expected a boolean for key \"interleaved\"."));
    return AudioFormat(rate.toDouble(), channels, bytes, interleaved.toBool());
}

} // namespace vessa
