#include "DecoderHelper/HelperRequests.h"

#include "RaskoGME/GMEHost.h"
#include "RaskoMikmod/MikmodHost.h"

namespace vessa::HelperRequests {

bool serve(const HelperMessage& request, HelperChannel& channel, PcmRing* ring)
{
    switch (request.type) {
    case HelperMessageType::gmeScan:
    case HelperMessageType::gmeExtract:
    case HelperMessageType::gmeOpen: return serveGMERequest(request, channel, ring);
    case HelperMessageType::mikmodExtract:
    case HelperMessageType::mikmodOpen: return serveMikmodRequest(request, channel, ring);
    default: return false;
    }
}

} // namespace vessa::HelperRequests
