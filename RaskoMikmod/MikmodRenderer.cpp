#include "RaskoMikmod/MikmodRenderer.h"

#include "RaskoMikmod/mikmod_buffer_driver.h"

#include "VessaCore/PullPcmBufferStream.h"

#include <cstring>
#include <memory>

#include <mikmod.h>

namespace vessa {

namespace {

constexpr float sampleScale = 1.0f / 32768.0f;
constexpr qint64 bytesPerFrame = 4;

} // namespace

MikmodRenderer::MikmodRenderer(MikmodModule module, AudioFormat format, std::optional<quint16> startPosition)
    : m_module(std::move(module)),
      m_format(format),
      m_startPosition(startPosition),
      m_history(m_module ? m_module.get()->numpos : 0)
{
}

PcmBufferStreamPtr MikmodRenderer::makeBufferStream(MikmodModule module, AudioFormat format,
                                                    std::optional<quint16> startPosition)
{
    // The stream drops its pull function when it ends or goes, and with it
    // the renderer and its module.
    auto renderer = std::make_shared<MikmodRenderer>(std::move(module), format, startPosition);
    return std::make_unique<PullPcmBufferStream>([renderer](std::stop_token) { return renderer->renderNext(); });
}

std::optional<PCMBuffer> MikmodRenderer::renderNext()
{
    if (m_ending || !m_module)
        return std::nullopt;
    MODULE* own = m_module.get();

    std::unique_lock guard(MikmodLibrary::lock());
    if (!m_started) {
        m_started = true;
        // Another module may have been loaded since this one and left the
        // mixer with a different number of voices.
        if (own->numvoices > 0 && MikMod_SetNumVoices(own->numvoices, -1) != 0)
            return std::nullopt;
        Player_Start(own);
        if (m_startPosition)
            Player_SetPosition(*m_startPosition);
    }
    if (Player_GetModule() != own || !Player_Active())
        return std::nullopt;

    mikmod_buffer_reset_length();
    MikmodLibrary::updateLocked(own, m_history);
    const signed char* data = mikmod_buffer_get_data();
    const quint32 length = mikmod_buffer_get_length();
    if (!data || length == 0)
        return std::nullopt;
    // Copied before the lock goes: the next update, of any stream, overwrites the block.
    PCMBuffer buffer = convertLocked(data, length);
    guard.unlock();

    m_framesRendered += buffer.frameCount();
    if (m_history.reenteredPosition() || m_framesRendered >= maximumSeconds * static_cast<qint64>(m_format.sampleRate))
        m_ending = true;
    return buffer;
}

PCMBuffer MikmodRenderer::convertLocked(const signed char* data, quint32 length) const
{
    const qint64 frames = static_cast<qint64>(length) / bytesPerFrame;
    std::vector<float> left(static_cast<size_t>(frames));
    std::vector<float> right(static_cast<size_t>(frames));
    for (qint64 i = 0; i < frames; ++i) {
        qint16 samples[2];
        std::memcpy(samples, data + i * bytesPerFrame, sizeof samples);
        left[static_cast<size_t>(i)] = samples[0] * sampleScale;
        right[static_cast<size_t>(i)] = samples[1] * sampleScale;
    }
    return PCMBuffer(m_format, {std::move(left), std::move(right)});
}

} // namespace vessa
