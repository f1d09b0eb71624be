#pragma once

#include "VessaCore/PCMBuffer.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace vessa {

// A pulled stream of decoded buffers with one consumer. A decoder decodes
// about one chunk inside each next() call, so memory stays bounded even for
// endless streams. Destroying the stream ends it and frees the decoder state.
class PcmBufferStream {
public:
    virtual ~PcmBufferStream() = default;
    // The next buffer, or nothing when the stream is finished; once finished
    // (or once `stop` was requested) it stays finished.
    virtual std::optional<PCMBuffer> next(std::stop_token stop) = 0;
};

using PcmBufferStreamPtr = std::unique_ptr<PcmBufferStream>;

// Opens a new stream starting at the given position in seconds. May throw;
// callable from any thread. An empty function means the stream cannot seek.
// A handler that may run long watches `stop` and then throws
// CancellationError; one that does not may ignore it.
using SeekHandler = std::function<PcmBufferStreamPtr(double seconds, std::stop_token stop)>;

} // namespace vessa
