#pragma once

#include "RaskoHelper/HelperChannel.h"

namespace vessa {

class PcmRing;

// Serves one tracker-module request in a helper worker, which has libmikmod
// to itself: a tag read, or a stream (loaded, started, maybe advanced to a
// point by rendering silently from the start, then rendered block by block
// into `ring` on request until the program closes it). Returns when the
// operation is over: false, having answered nothing, when the request is not
// one this program sends or a stream has no ring to go to.
[[nodiscard]] bool serveMikmodRequest(const HelperMessage& request, HelperChannel& channel, PcmRing* ring);

} // namespace vessa
