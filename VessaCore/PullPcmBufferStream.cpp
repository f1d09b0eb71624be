#include "VessaCore/PullPcmBufferStream.h"

#include <exception>

namespace vessa {

PullPcmBufferStream::PullPcmBufferStream(Pull pull, std::function<void()> onEnd)
    : m_pull(std::move(pull)), m_onEnd(std::move(onEnd))
{
}

PullPcmBufferStream::~PullPcmBufferStream()
{
    finish();
}

std::optional<PCMBuffer> PullPcmBufferStream::next(std::stop_token stop)
{
    if (m_finished)
        return std::nullopt;
    if (stop.stop_requested()) {
        finish();
        return std::nullopt;
    }
    std::optional<PCMBuffer> buffer;
    try {
        buffer = m_pull(stop);
    } catch (const std::exception&) {
        buffer.reset();
    }
    if (!buffer || stop.stop_requested()) {
        finish();
        return std::nullopt;
    }
    return buffer;
}

void PullPcmBufferStream::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_pull = nullptr;
    if (auto onEnd = std::exchange(m_onEnd, nullptr))
        onEnd();
}

} // namespace vessa
