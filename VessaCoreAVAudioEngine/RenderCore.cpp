#include "VessaCoreAVAudioEngine/RenderCore.h"

#include "VessaCoreAVAudioEngine/DenormalGuard.h"

#include <algorithm>
#include <cstring>

namespace vessa {

RenderCore::RenderCore() = default;

void RenderCore::configure(int channelCount, double sampleRate)
{
    m_channelCount = std::clamp(channelCount, 0, Equalizer::maxChannels);
    m_equalizer.configure(m_channelCount, sampleRate);
}

void RenderCore::stop(qint64 newGeneration)
{
    m_playing.store(false, std::memory_order_release);
    m_queue.setGeneration(newGeneration);
}

RenderCore::Time RenderCore::time() const
{
    Time time;
    for (;;) {
        const quint64 before = m_timeSequence.load(std::memory_order_acquire);
        if (before & 1u)
            continue;
        time.generation = m_publishedGeneration.load(std::memory_order_relaxed);
        time.hasTime = m_publishedHasTime.load(std::memory_order_relaxed);
        time.frames = m_publishedFrames.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (m_timeSequence.load(std::memory_order_relaxed) == before)
            return time;
    }
}

void RenderCore::publishTime()
{
    const quint64 sequence = m_timeSequence.load(std::memory_order_relaxed);
    m_timeSequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    m_publishedGeneration.store(m_renderGeneration, std::memory_order_relaxed);
    m_publishedHasTime.store(m_hasTime, std::memory_order_relaxed);
    m_publishedFrames.store(m_renderedFrames, std::memory_order_relaxed);
    m_timeSequence.store(sequence + 2, std::memory_order_release);
}

void RenderCore::render(float* out, std::size_t frames)
{
    DenormalGuard denormals;
    const auto channels = static_cast<std::size_t>(m_channelCount);

    const qint64 generation = m_queue.generation();
    if (generation != m_renderGeneration) {
        m_renderGeneration = generation;
        m_hasTime = false;
        m_renderedFrames = 0;
        m_equalizer.reset();
    }
    m_equalizer.update(m_equalizerSettings);
    m_queue.discardStale(generation);

    const float fromVolume = m_appliedVolume;
    const float toVolume = m_targetVolume.load(std::memory_order_relaxed);
    m_appliedVolume = toVolume;

    if (!m_playing.load(std::memory_order_acquire) || channels == 0) {
        std::memset(out, 0, frames * channels * sizeof(float));
    } else {
        m_hasTime = true;
        const float step = frames > 0 ? (toVolume - fromVolume) / static_cast<float>(frames) : 0.0f;
        std::size_t done = 0;
        while (done < frames) {
            const std::size_t count = std::min(chunkFrames, frames - done);
            fillChunk(count);
            m_equalizer.process(m_scratch.data(), count);
            float* target = out + done * channels;
            for (std::size_t n = 0; n < count; ++n) {
                const std::size_t index = done + n + 1;
                const float gain = index == frames ? toVolume : fromVolume + step * static_cast<float>(index);
                for (std::size_t c = 0; c < channels; ++c)
                    target[n * channels + c] = static_cast<float>(m_scratch[n * channels + c]) * gain;
            }
            done += count;
        }
    }
    publishTime();
    m_queue.signalFinished();
}

// Copies up to `frames` queued frames into the scratch buffer, silence after
// the queue ran dry, and counts the frames that came from buffers.
void RenderCore::fillChunk(std::size_t frames)
{
    const auto channels = static_cast<std::size_t>(m_channelCount);
    std::size_t filled = 0;
    while (filled < frames) {
        QueuedBuffer* buffer = m_queue.renderFront();
        if (!buffer)
            break;
        if (buffer->readPosition >= buffer->frames) {
            if (!m_queue.finishFront())
                break;
            continue;
        }
        const std::size_t count = std::min(frames - filled, buffer->frames - buffer->readPosition);
        for (std::size_t c = 0; c < channels; ++c) {
            double* target = m_scratch.data() + filled * channels + c;
            if (c < buffer->channels.size()) {
                const float* source = buffer->channels[c].data() + buffer->readPosition;
                for (std::size_t n = 0; n < count; ++n)
                    target[n * channels] = source[n];
            } else {
                for (std::size_t n = 0; n < count; ++n)
                    target[n * channels] = 0.0;
            }
        }
        buffer->readPosition += count;
        filled += count;
        m_renderedFrames += static_cast<qint64>(count);
        if (buffer->readPosition == buffer->frames) {
            // Published first, so whoever learns that the buffer was consumed
            // finds its frames counted in the position.
            publishTime();
            m_queue.finishFront();
        }
    }
    std::fill(m_scratch.begin() + static_cast<std::ptrdiff_t>(filled * channels),
              m_scratch.begin() + static_cast<std::ptrdiff_t>(frames * channels), 0.0);
}

} // namespace vessa
