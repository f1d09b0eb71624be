#include "VessaCore/PlayerError.h"

#include "VessaCore/ExceptionDescription.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(PlayerError)
};

} // namespace

PlayerError::PlayerError(Kind kind, std::exception_ptr underlying) : m_kind(kind), m_underlying(std::move(underlying))
{
}

PlayerError PlayerError::schedulingFailed(std::exception_ptr underlying)
{
    return PlayerError(Kind::schedulingFailed, std::move(underlying));
}

PlayerError PlayerError::seekNotSupported()
{
    return PlayerError(Kind::seekNotSupported, nullptr);
}

PlayerError PlayerError::noFormatAvailable()
{
    return PlayerError(Kind::noFormatAvailable, nullptr);
}

QString PlayerError::description() const
{
    switch (m_kind) {
    case Kind::schedulingFailed: return Text::tr("Audio scheduling failed: %1").arg(describeException(m_underlying));
    case Kind::seekNotSupported: return Text::tr("Seek is not supported for the current track");
    case Kind::noFormatAvailable: break;
    }
    return Text::tr("No audio format available -- was a track loaded?");
}

} // namespace vessa
