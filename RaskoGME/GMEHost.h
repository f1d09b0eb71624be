#pragma once

#include "RaskoHelper/HelperChannel.h"

namespace vessa {

// Serves one chip-music request in a helper worker: a scan, a tag read, or a
// stream (opened, started, maybe sought, then rendered chunk by chunk on
// request until the program closes it). Returns when the operation is over.
void serveGMERequest(const HelperMessage& request, HelperChannel& channel);

} // namespace vessa
