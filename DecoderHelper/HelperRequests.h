#pragma once

#include "RaskoHelper/HelperChannel.h"

namespace vessa {

class PcmRing;

// What the decoder helper does with the program's requests, apart from the
// processes it serves them in (see main.cpp).
namespace HelperRequests {

// Serves one operation on the channel: answers a request that starts one
// and, for a stream, the render requests that follow until the program
// closes it, rendering into `ring`. False, with nothing answered, when the
// request is not one this program sends or a stream has no ring to go to.
[[nodiscard]] bool serve(const HelperMessage& request, HelperChannel& channel, PcmRing* ring);

} // namespace HelperRequests

} // namespace vessa
