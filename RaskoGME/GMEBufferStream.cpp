#include "RaskoGME/GMEBufferStream.h"

#include "RaskoGME/GMEError.h"
#include "VessaCore/Logging.h"

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcDecoder, "raskogme", "decoder")

constexpr float sampleScale = 1.0f / 32768.0f;

} // namespace

GMEBufferStream::GMEBufferStream(GMEEmu emu, AudioFormat format, int framesPerChunk)
    : m_emu(std::move(emu)),
      m_format(format),
      m_framesPerChunk(framesPerChunk),
      m_samples(static_cast<std::size_t>(framesPerChunk) * 2, 0)
{
}

std::optional<PCMBuffer> GMEBufferStream::next(std::stop_token stop)
{
    if (!m_emu)
        return std::nullopt;
    if (stop.stop_requested() || m_emu->trackEnded()) {
        m_emu.reset();
        return std::nullopt;
    }
    try {
        m_emu->play(m_samples);
    } catch (const GMEError& error) {
        logError(lcDecoder(), QStringLiteral("gme_play error: ") + error.message());
        m_emu.reset();
        return std::nullopt;
    }

    const auto frames = static_cast<std::size_t>(m_framesPerChunk);
    std::vector<std::vector<float>> channels;
    channels.reserve(2);
    channels.emplace_back(frames);
    channels.emplace_back(frames);
    float* left = channels[0].data();
    float* right = channels[1].data();
    const std::int16_t* in = m_samples.data();
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] = static_cast<float>(in[2 * i]) * sampleScale;
        right[i] = static_cast<float>(in[2 * i + 1]) * sampleScale;
    }
    return PCMBuffer(m_format, std::move(channels));
}

} // namespace vessa
