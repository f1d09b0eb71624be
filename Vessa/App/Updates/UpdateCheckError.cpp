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

UpdateCheckError UpdateCheckError::malformedFeed(QString detail, qint64 line)
{
    UpdateCheckError error(Kind::malformedFeed, std::move(detail));
    error.m_line = line;
    return error;
}

UpdateCheckError UpdateCheckError::emptyAnswer()
{
    return UpdateCheckError(Kind::emptyAnswer, {});
}

UpdateCheckError UpdateCheckError::notRss()
{
    return UpdateCheckError(Kind::notRss, {});
}

UpdateCheckError UpdateCheckError::noChannel()
{
    return UpdateCheckError(Kind::noChannel, {});
}

UpdateCheckError UpdateCheckError::noElement()
{
    return UpdateCheckError(Kind::noElement, {});
}

UpdateCheckError UpdateCheckError::noVersion()
{
    return UpdateCheckError(Kind::noVersion, {});
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
    case Kind::malformedFeed:
        return Text::tr("The update feed could not be read: %1 at line %2.").arg(m_detail).arg(m_line);
    case Kind::emptyAnswer: return Text::tr("The update feed could not be read: the server sent an empty answer.");
    case Kind::notRss: return Text::tr("The update feed could not be read: it is not an RSS feed.");
    case Kind::noChannel: return Text::tr("The update feed could not be read: it has no channel.");
    case Kind::noElement: return Text::tr("The update feed could not be read: it holds no XML element.");
    case Kind::noVersion: return Text::tr("The update feed could not be read: none of its releases names a version.");
    }
    return {};
}

} // namespace vessa
