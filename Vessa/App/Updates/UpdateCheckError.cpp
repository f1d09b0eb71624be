#include "Vessa/App/Updates/UpdateCheckError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(UpdateCheckError)
};

} // namespace

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
    case Kind::noFeed: return Text::tr("No update feed is set, so Vessa cannot look for updates.");
    case Kind::invalidFeedAddress:
        return Text::tr("The update feed address \"%1\" is not a web address (http or https).").arg(m_detail);
    case Kind::unreachable: return Text::tr("Could not reach the update server: %1").arg(m_detail);
    case Kind::timedOut: return Text::tr("The update server did not answer in time.");
    case Kind::httpStatus:
        return Text::tr("The update server could not send the update feed (HTTP status %1).").arg(m_detail);
    case Kind::feedTooLarge: return Text::tr("The update feed is too large to be an update feed.");
    case Kind::malformedFeed: return Text::tr("The update feed could not be read: %1").arg(m_detail);
    }
    return {};
}

} // namespace vessa
