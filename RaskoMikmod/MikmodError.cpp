#include "RaskoMikmod/MikmodError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(MikmodError)
};

} // namespace

MikmodError MikmodError::initFailed(QString message)
{
    return MikmodError(Kind::initFailed, std::move(message));
}

MikmodError MikmodError::loadFailed(QString message)
{
    return MikmodError(Kind::loadFailed, std::move(message));
}

MikmodError MikmodError::fromWire(qint32 kind, QString message)
{
    if (kind == qint32(Kind::initFailed))
        return initFailed(std::move(message));
    return loadFailed(std::move(message));
}

QString MikmodError::description() const
{
    switch (m_kind) {
    case Kind::initFailed:
        if (m_message.isEmpty())
            return Text::tr("Failed to initialize libmikmod: Unknown error");
        return Text::tr("Failed to initialize libmikmod: %1").arg(m_message);
    case Kind::loadFailed:
        if (m_message.isEmpty())
            return Text::tr("Failed to load tracker module: Unknown error");
        return Text::tr("Failed to load tracker module: %1").arg(m_message);
    }
    return QString();
}

} // namespace vessa
