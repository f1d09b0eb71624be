#pragma once

#include "VessaCore/AudioFormat.h"
#include "VessaCore/PcmBufferStream.h"

#include <optional>

namespace vessa {

// An opened track: the format of every buffer, the length when the decoder
// can tell it, the buffers from the start (or the seek point) to the end, and
// the seek operation (empty: cannot seek). Move-only; one consumer.
struct AudioStream {
    AudioFormat format;
    std::optional<double> duration;
    PcmBufferStreamPtr buffers;
    SeekHandler seek;

    AudioStream(AudioFormat format, std::optional<double> duration, PcmBufferStreamPtr buffers, SeekHandler seek)
        : format(format), duration(duration), buffers(std::move(buffers)), seek(std::move(seek))
    {
    }

    AudioStream(AudioStream&&) = default;
    AudioStream& operator=(AudioStream&&) = default;
    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;
};

} // namespace vessa
