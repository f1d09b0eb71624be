#include "VessaCoreAVAudioEngine/BufferScheduler.h"

#include "VessaCore/Error.h"

#include <algorithm>

namespace vessa {

qint64 BufferScheduler::acquireSlot(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    if (m_pendingCount < maxAhead && m_slotWaiters.empty()) {
        ++m_pendingCount;
        return m_generation;
    }
    const qint64 generation = m_generation;
    Waiter waiter;
    m_slotWaiters.push_back(&waiter);
    if (!m_changed.wait(lock, stop, [&] { return waiter.resumed; })) {
        // Stopped while still in line: nobody handed this waiter a slot.
        std::erase(m_slotWaiters, &waiter);
        throw CancellationError();
    }
    return generation;
}

void BufferScheduler::releaseSlot(qint64 generation)
{
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_generation || m_pendingCount == 0)
            return;
        --m_pendingCount;
        if (!m_slotWaiters.empty()) {
            m_slotWaiters.front()->resumed = true;
            m_slotWaiters.pop_front();
            ++m_pendingCount;
        }
        if (m_pendingCount == 0)
            ++m_drainEpoch;
    }
    m_changed.notify_all();
}

void BufferScheduler::waitUntilDrained(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    if (m_pendingCount == 0)
        return;
    const quint64 epoch = m_drainEpoch;
    m_changed.wait(lock, stop, [&] { return m_drainEpoch != epoch; });
}

qint64 BufferScheduler::reset()
{
    qint64 generation;
    {
        std::lock_guard lock(m_mutex);
        generation = ++m_generation;
        for (Waiter* waiter : m_slotWaiters)
            waiter->resumed = true;
        m_slotWaiters.clear();
        m_pendingCount = 0;
        ++m_drainEpoch;
    }
    m_changed.notify_all();
    return generation;
}

qint64 BufferScheduler::generation() const
{
    std::lock_guard lock(m_mutex);
    return m_generation;
}

qint64 BufferScheduler::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_pendingCount;
}

qsizetype BufferScheduler::waitingCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<qsizetype>(m_slotWaiters.size());
}

} // namespace vessa
