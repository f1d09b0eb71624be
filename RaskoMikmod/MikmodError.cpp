#include "RaskoMikmod/MikmodError.h"

#include "VessaCore/PathExtension.h"

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
    case Kind::initFailed:
        return QStringLiteral("Failed to initialize libmikmod: ") + m_message;
    case Kind::loadFailed:
        return QStringLiteral("Failed to load tracker module: ") + m_message;
    }
    return QString();
}

MikmodFileReadError::MikmodFileReadError(QString path, QString reason)
    : m_path(std::move(path)), m_reason(std::move(reason))
{
}

QString MikmodFileReadError::description() const
{
    return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be read: %2").arg(lastPathComponent(m_path), m_reason);
}

} // namespace vessa
