#include "RaskoMikmod/MikmodError.h"

namespace vessa {

MikmodError MikmodError::initFailed(QString message)
{
    return MikmodError(Kind::initFailed, std::move(message));
}

MikmodError MikmodError::loadFailed(QString message)
{
    return MikmodError(Kind::loadFailed, std::move(message));
}

QString MikmodError::description() const
{
    switch (m_kind) {
    case Kind::initFailed: return QStringLiteral("Failed to initialize libmikmod: ") + m_message;
    case Kind::loadFailed: return QStringLiteral("Failed to load tracker module: ") + m_message;
    }
    return QString();
}

} // namespace vessa
