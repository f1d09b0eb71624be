#include "VessaCoreAVAudioEngine/BufferQueue.h"

#include <algorithm>

namespace vessa {

std::unique_ptr<QueuedBuffer> QueuedBuffer::from(PCMBuffer&& buffer, int channelCount, qint64 generation)
{
    auto queued = std::make_unique<QueuedBuffer>();
    queued->generation = generation;
    queued->frames = buffer.channelData.empty() ? 0 : buffer.channelData.front().size();
    queued->channels.resize(static_cast<std::size_t>(std::max(channelCount, 0)));
    for (std::size_t c = 0; c < queued->channels.size(); ++c) {
        if (c < buffer.channelData.size())
            queued->channels[c] = std::move(buffer.channelData[c]);
        queued->channels[c].resize(queued->frames, 0.0f);
    }
    return queued;
}

BufferQueue::~BufferQueue()
{
    delete m_current;
    while (QueuedBuffer* buffer = m_incoming.take())
        delete buffer;
    while (QueuedBuffer* buffer = m_finished.take())
        delete buffer;
}

bool BufferQueue::push(std::unique_ptr<QueuedBuffer> buffer, std::stop_token stop)
{
    std::unique_lock lock(m_producerMutex);
    for (;;) {
        if (buffer->generation != m_generation.load(std::memory_order_acquire) || stop.stop_requested())
            return false;
        if (m_incoming.push(buffer.get())) {
            buffer.release();
            return true;
        }
        const quint64 epoch = m_roomEpoch;
        m_roomChanged.wait(lock, stop, [&] { return m_roomEpoch != epoch; });
    }
}

void BufferQueue::setGeneration(qint64 generation)
{
    {
        std::lock_guard lock(m_producerMutex);
        m_generation.store(generation, std::memory_order_release);
        ++m_roomEpoch;
    }
    m_roomChanged.notify_all();
}

void BufferQueue::announceRoom()
{
    {
        std::lock_guard lock(m_producerMutex);
        ++m_roomEpoch;
    }
    m_roomChanged.notify_all();
}

QueuedBuffer* BufferQueue::renderFront()
{
    if (!m_current)
        m_current = m_incoming.take();
    return m_current;
}

bool BufferQueue::finishFront()
{
    if (!m_current || !m_finished.hasRoom())
        return false;
    m_finished.push(m_current);
    m_current = nullptr;
    m_finishedSinceSignal = true;
    return true;
}

void BufferQueue::discardStale(qint64 generation)
{
    while (QueuedBuffer* front = renderFront()) {
        if (front->generation == generation || !finishFront())
            return;
    }
}

void BufferQueue::signalFinished()
{
    if (!m_finishedSinceSignal)
        return;
    m_finishedSinceSignal = false;
    m_finishedSignal.fetch_add(1, std::memory_order_release);
    m_finishedSignal.notify_one();
}

void BufferQueue::waitForFinished(std::stop_token stop)
{
    std::stop_callback wake(stop, [this] {
        m_finishedSignal.fetch_add(1, std::memory_order_release);
        m_finishedSignal.notify_all();
    });
    for (;;) {
        const quint32 seen = m_finishedSignal.load(std::memory_order_acquire);
        if (m_finished.front() || stop.stop_requested())
            return;
        m_finishedSignal.wait(seen, std::memory_order_acquire);
    }
}

} // namespace vessa
