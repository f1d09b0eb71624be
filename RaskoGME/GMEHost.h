#pragma once

#include "RaskoHelper/HelperChannel.h"

namespace vessa {

class PcmRing;

// Serves one chip-music request in a helper worker: a scan, a tag read, or a
// stream (opened, started, maybe sought, then rendered chunk by chunk into
// `ring` on request until the program closes it). Returns when the operation
// is over: false, having answered nothing, when the request is not one this
// program sends or a stream has no ring to go to.
[[nodiscard]] bool serveGMERequest(const HelperMessage& request, HelperChannel& channel, PcmRing* ring);

} // namespace vessa
