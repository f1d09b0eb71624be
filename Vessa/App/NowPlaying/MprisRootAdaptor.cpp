#include "Vessa/App/NowPlaying/MprisRootAdaptor.h"

#include "Vessa/App/NowPlaying/NowPlayingBridge.h"

namespace vessa {

MprisRootAdaptor::MprisRootAdaptor(NowPlayingBridge& bridge) : QDBusAbstractAdaptor(&bridge), m_bridge(bridge)
{
}

void MprisRootAdaptor::Raise()
{
    m_bridge.raise();
}

void MprisRootAdaptor::Quit()
{
    // CanQuit is false: the player is only quit from its own window.
}

} // namespace vessa
