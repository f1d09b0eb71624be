#include "VessaCore/VectorPcmBufferStream.h"

namespace vessa {

VectorPcmBufferStream::VectorPcmBufferStream(std::vector<PCMBuffer> buffers) : m_buffers(std::move(buffers))
{
}

std::optional<PCMBuffer> VectorPcmBufferStream::next(std::stop_token stop)
{
    if (m_finished || stop.stop_requested() || m_next >= m_buffers.size()) {
        m_finished = true;
        m_buffers.clear();
        return std::nullopt;
    }
    return std::move(m_buffers[m_next++]);
}

} // namespace vessa
