#pragma once

#include "VessaCoreAVAudioEngine/BufferQueue.h"
#include "VessaCoreAVAudioEngine/Equalizer.h"

#include <QtGlobal>

#include <array>
#include <atomic>
#include <cstddef>

namespace vessa {

// Turns the queued buffers into the interleaved float samples a device asks
// for: buffer queue -> equaliser -> volume. It knows nothing of any device.
//
// Threads: render runs on the device's render thread and never allocates,
// locks or waits; configure runs on the main thread only while no render is
// in progress (before the device opens, after it closed); every other member
// may be called from any thread. Controls take effect at the start of the
// next render call.
class RenderCore {
public:
    // What the render thread last published about the playing position.
    struct Time {
        qint64 generation = 0;
        bool hasTime = false; // rendered while playing since the last stop
        qint64 frames = 0;    // buffer frames rendered since the last stop
    };

    RenderCore();
    RenderCore(const RenderCore&) = delete;
    RenderCore& operator=(const RenderCore&) = delete;

    void configure(int channelCount, double sampleRate);
    int channelCount() const { return m_channelCount; }

    // Playing consumes queued buffers; not playing renders silence and keeps
    // the queue and the position.
    void setPlaying(bool playing) { m_playing.store(playing, std::memory_order_release); }
    bool isPlaying() const { return m_playing.load(std::memory_order_acquire); }
    // Stops playing, discards every queued buffer of another generation and
    // starts the position again from nothing.
    void stop(qint64 newGeneration);

    // Linear volume; a change ramps in over one render call.
    void setVolume(float volume) { m_targetVolume.store(volume, std::memory_order_relaxed); }
    float volume() const { return m_targetVolume.load(std::memory_order_relaxed); }

    EqualizerSettings& equalizer() { return m_equalizerSettings; }
    BufferQueue& queue() { return m_queue; }
    // The generation whose buffers are played; raised by stop().
    qint64 generation() const { return m_queue.generation(); }

    Time time() const;

    // Render thread: fills `frames` interleaved frames of channelCount() channels.
    void render(float* out, std::size_t frames);

private:
    static constexpr std::size_t chunkFrames = 512;

    void fillChunk(std::size_t frames);
    void publishTime();

    BufferQueue m_queue;
    EqualizerSettings m_equalizerSettings;
    std::atomic<bool> m_playing{false};
    std::atomic<float> m_targetVolume{1.0f};

    int m_channelCount = 0;

    // Render thread state.
    Equalizer m_equalizer;
    std::array<double, chunkFrames * Equalizer::maxChannels> m_scratch{};
    float m_appliedVolume = 1.0f;
    qint64 m_renderGeneration = 0;
    bool m_hasTime = false;
    qint64 m_renderedFrames = 0;

    // Published time, a sequence lock written only by the render thread.
    std::atomic<quint64> m_timeSequence{0};
    std::atomic<qint64> m_publishedGeneration{0};
    std::atomic<bool> m_publishedHasTime{false};
    std::atomic<qint64> m_publishedFrames{0};
};

} // namespace vessa
