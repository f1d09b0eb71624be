#pragma once

#include "RaskoGME/GMEEmu.h"
#include "VessaCore/AudioFormat.h"
#include "VessaCore/PcmBufferStream.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vessa {

// Renders a started emulator track, one chunk of `framesPerChunk` stereo
// frames inside each next() call, until the track ends, the library fails
// (logged, then the stream simply ends), or a stop is requested. The
// emulator is deleted as soon as the stream finishes. One consumer thread.
class GMEBufferStream final : public PcmBufferStream {
public:
    GMEBufferStream(GMEEmu emu, AudioFormat format, int framesPerChunk);

    std::optional<PCMBuffer> next(std::stop_token stop) override;

private:
    std::optional<GMEEmu> m_emu;
    AudioFormat m_format;
    int m_framesPerChunk;
    std::vector<std::int16_t> m_samples; // reused for every chunk
};

} // namespace vessa
