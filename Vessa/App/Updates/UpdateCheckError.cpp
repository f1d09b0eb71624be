#include "Vessa/App/Updates/UpdateCheckError.h"

namespace vessa {

UpdateCheckError::UpdateCheckError(Kind kind, QString detail) : m_kind(kind), m_detail(std::move(detail))
{
}

UpdateCheckError UpdateCheckError::noFeed()
{
    return UpdateCheckError(Kind::noFeed, {});
}

UpdateCheckError UpdateCheckError::invalidFeedAddress(QString address)
{
    return UpdateCheckError(Kind::invalidFeedAddress, std::move(address));
}

UpdateCheckError UpdateCheckError::unreachable(QString detail)
{
    return UpdateCheckError(Kind::unreachable, std::move(detail));
}

UpdateCheckError UpdateCheckError::timedOut()
{
    return UpdateCheckError(Kind::timedOut, {});
}

UpdateCheckError UpdateCheckError::httpStatus(int status)
{
    return UpdateCheckError(Kind::httpStatus, QString::number(status));
}

UpdateCheckError UpdateCheckError::feedTooLarge()
{
    return UpdateCheckError(Kind::feedTooLarge, {});
}

UpdateCheckError UpdateCheckError::malformedFeed(QString detail)
{
    return UpdateCheckError(Kind::malformedFeed, std::move(detail));
}

QString UpdateCheckError::description() const
{
    switch (m_kind) {
    case Kind::noFeed: return QStringLiteral("No update feed is set, so Vessa cannot look for updates.");
    case Kind::invalidFeedAddress:
        return QStringLiteral("The update feed address \"") + m_detail
               + QStringLiteral("\" is not a web address (http or https).");
    case Kind::unreachable: return QStringLiteral("Could not reach the update server: ") + m_detail;
    case Kind::timedOut: return QStringLiteral("The update server did not answer in time.");
    case Kind::httpStatus:
        return QStringLiteral("The update server could not send the update feed (HTTP status ") + m_detail
               + QStringLiteral(").");
    case Kind::feedTooLarge: return QStringLiteral("The update feed is too large to be an update feed.");
    case Kind::malformedFeed: return QStringLiteral("The update feed could not be read: ") + m_detail;
    }
    return {};
}

} // namespace vessa
