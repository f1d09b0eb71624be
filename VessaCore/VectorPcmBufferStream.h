#pragma once

#include "VessaCore/PcmBufferStream.h"

#include <vector>

namespace vessa {

// Hands out a fixed list of buffers in order.
class VectorPcmBufferStream final : public PcmBufferStream {
public:
    explicit VectorPcmBufferStream(std::vector<PCMBuffer> buffers);

    std::optional<PCMBuffer> next(std::stop_token stop) override;

private:
    std::vector<PCMBuffer> m_buffers;
    std::size_t m_next = 0;
    bool m_finished = false;
};

} // namespace vessa
