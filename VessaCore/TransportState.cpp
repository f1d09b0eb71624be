#include "VessaCore/TransportState.h"

namespace vessa {

QString TransportState::description() const
{
    switch (m_kind) {
    case Kind::playing: return QStringLiteral("playing(position: %1)").arg(m_position);
    case Kind::paused: return QStringLiteral("paused(position: %1)").arg(m_position);
    case Kind::idle: break;
    }
    return QStringLiteral("idle");
}

} // namespace vessa
