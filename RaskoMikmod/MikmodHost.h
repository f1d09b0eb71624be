#pragma once

#include "RaskoHelper/HelperChannel.h"

namespace vessa {

// Serves one tracker-module request in a helper worker, which has libmikmod
// to itself: a tag read, or a stream (loaded, started, maybe advanced to a
// point by rendering silently from the start, then rendered block by block on
// request until the program closes it). Returns when the operation is over.
void serveMikmodRequest(const HelperMessage& request, HelperChannel& channel);

} // namespace vessa
