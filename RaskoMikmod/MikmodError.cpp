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

QString MikmodError::description() const
{
    switch (m_kind) {
    case Kind::initFailed: return Text::tr("Failed to initialize libmikmod: %1").arg(m_message);
    case Kind::loadFailed: return Text::tr("Failed to load tracker module: %1").arg(m_message);
    }
    return QString();
}

} // namespace vessa
