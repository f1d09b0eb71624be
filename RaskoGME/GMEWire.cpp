#include "RaskoGME/GMEWire.h"

#include "RaskoHelper/HelperMessage.h"

namespace vessa {

namespace {

void writeText(QDataStream& out, const std::optional<QString>& text)
{
    out << text.has_value() << text.value_or(QString());
}

void readText(QDataStream& in, std::optional<QString>& text)
{
    bool present = false;
    QString value;
    in >> present >> value;
    text = present ? std::optional(value) : std::nullopt;
}

} // namespace

QDataStream& operator<<(QDataStream& out, const std::optional<GMETrackInfo>& info)
{
    out << info.has_value();
    if (info) {
        out << qint32(info->playLength);
        writeText(out, info->song);
        writeText(out, info->author);
        writeText(out, info->game);
    }
    return out;
}

QDataStream& operator>>(QDataStream& in, std::optional<GMETrackInfo>& info)
{
    bool present = false;
    in >> present;
    info.reset();
    if (!present)
        return in;
    GMETrackInfo read;
    qint32 playLength = -1;
    in >> playLength;
    read.playLength = playLength;
    readText(in, read.song);
    readText(in, read.author);
    readText(in, read.game);
    info = std::move(read);
    return in;
}

QByteArray gmeErrorPayload(const GMEError& error)
{
    return helperPayload(qint32(error.kind()), error.index(), error.count(), error.message());
}

GMEError gmeErrorFromPayload(const QByteArray& payload)
{
    qint32 kind = -1;
    qint64 index = 0, count = 0;
    QString message;
    if (!readHelperPayload(payload, kind, index, count, message))
        return GMEError::openFailed();
    switch (static_cast<GMEError::Kind>(kind)) {
    case GMEError::Kind::trackOutOfRange: return GMEError::trackOutOfRange(index, count);
    case GMEError::Kind::gmeError: return GMEError::gmeError(message);
    case GMEError::Kind::noTrackInfo: return GMEError::noTrackInfo();
    case GMEError::Kind::openFailed: break;
    }
    return GMEError::openFailed();
}

} // namespace vessa
