#pragma once

#include "VessaCore/PCMBuffer.h"
#include "VessaCoreAVAudioEngine/SpscRing.h"

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

namespace vessa {

// One accepted buffer as the render thread reads it: `channels` holds exactly
// the channel count it was accepted for, each with `frames` samples.
struct QueuedBuffer {
    std::vector<std::vector<float>> channels;
    std::size_t frames = 0;
    qint64 generation = 0;
    std::size_t readPosition = 0; // render thread only

    // Takes the samples over (without copying when the buffer is well formed).
    // Frames are counted on the first channel; shorter channels are padded with
    // silence, longer ones cut, missing ones silent, extra ones dropped.
    static std::unique_ptr<QueuedBuffer> from(PCMBuffer&& buffer, int channelCount, qint64 generation);
};

// Carries accepted buffers to the render thread and consumed ones back to the
// release thread, which frees them; the render thread never allocates, frees
// or waits.
//
// Threads: push on the scheduling thread (pushes are serialised by
// `m_producerMutex`); renderFront, finishFront and discardStale on the render
// thread only; waitForFinished and collectFinished on the one release thread;
// setGeneration and generation on any thread. The destructor frees what is
// left and must run when none of these threads uses the queue any more.
class BufferQueue {
public:
    static constexpr std::size_t capacity = 64;

    BufferQueue() = default;
    BufferQueue(const BufferQueue&) = delete;
    BufferQueue& operator=(const BufferQueue&) = delete;
    ~BufferQueue();

    // Queues `buffer` unless its generation is no longer current; waits while
    // the queue is full. Returns false when the buffer was dropped because its
    // generation went stale or `stop` was requested.
    bool push(std::unique_ptr<QueuedBuffer> buffer, std::stop_token stop);

    // Buffers of any other generation are discarded unplayed from now on.
    void setGeneration(qint64 generation);
    qint64 generation() const { return m_generation.load(std::memory_order_acquire); }

    // Render thread: the buffer being played, or the next queued one.
    QueuedBuffer* renderFront();
    // Render thread: hands the front buffer to the release thread. Returns
    // false (keeping it) while the release thread is behind.
    bool finishFront();
    // Render thread: finishes every buffer at the front whose generation is
    // not `generation`.
    void discardStale(qint64 generation);
    // Render thread: wakes the release thread if buffers were finished since
    // the last call.
    void signalFinished();

    // Release thread: waits until a finished buffer is there or `stop` is requested.
    void waitForFinished(std::stop_token stop);
    // Release thread: calls `onReleased(generation)` for each finished buffer,
    // oldest first, and frees them.
    template <typename F>
    std::size_t collectFinished(F&& onReleased)
    {
        std::size_t count = 0;
        while (QueuedBuffer* buffer = m_finished.take()) {
            onReleased(buffer->generation);
            delete buffer;
            ++count;
        }
        if (count > 0)
            announceRoom();
        return count;
    }

private:
    void announceRoom();

    SpscRing<QueuedBuffer, capacity> m_incoming;
    SpscRing<QueuedBuffer, capacity * 2> m_finished;
    QueuedBuffer* m_current = nullptr;  // render thread only
    bool m_finishedSinceSignal = false; // render thread only
    std::atomic<quint32> m_finishedSignal{0};
    std::atomic<qint64> m_generation{0};

    std::mutex m_producerMutex;
    std::condition_variable_any m_roomChanged;
    quint64 m_roomEpoch = 0; // guarded by m_producerMutex
};

} // namespace vessa
