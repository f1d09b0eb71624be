#include "RaskoGME/GMEError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(GMEError)
};

} // namespace

GMEError GMEError::trackOutOfRange(qint64 index, qint64 count)
{
    GMEError error(Kind::trackOutOfRange);
    error.m_index = index;
    error.m_count = count;
    return error;
}

GMEError GMEError::gmeError(QString message)
{
    GMEError error(Kind::gmeError);
    error.m_message = std::move(message);
    return error;
}

GMEError GMEError::openFailed()
{
    return GMEError(Kind::openFailed);
}

GMEError GMEError::noTrackInfo()
{
    return GMEError(Kind::noTrackInfo);
}

QString GMEError::description() const
{
    switch (m_kind) {
    case Kind::trackOutOfRange: return Text::tr("Track %1 out of range (file has %2 tracks)").arg(m_index).arg(m_count);
    case Kind::gmeError: return Text::tr("Game music emulator error: %1").arg(m_message);
    case Kind::openFailed: return Text::tr("Failed to open game music file");
    case Kind::noTrackInfo: return Text::tr("Could not read track information");
    }
    return QString();
}

} // namespace vessa
