#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>

namespace vessa {

// Back-pressure for the output: hands out at most `maxAhead` slots per
// generation. A caller that finds no free slot waits in line (oldest first)
// until a consumed buffer releases one; reset() starts a new generation,
// wakes every waiter and forgets every outstanding slot, so releases that
// arrive afterwards for the old generation change nothing.
//
// Threads: acquireSlot runs on the player's scheduling thread,
// waitUntilDrained on the same thread or any other, releaseSlot on the
// output's release thread, reset and generation on the main thread. All
// members lock `m_mutex`; no lock is held while a caller waits.
class BufferScheduler {
public:
    static constexpr qint64 maxAhead = 8;

    // Returns the generation the slot belongs to. When no slot is free, waits
    // for a release or a reset; after a reset the generation read before
    // waiting is returned, which is then stale. Throws CancellationError when
    // `stop` is requested before a slot was handed over.
    qint64 acquireSlot(std::stop_token stop);
    // Gives a slot of generation `generation` back; a stale generation is ignored.
    void releaseSlot(qint64 generation);
    // Returns once no slot is outstanding, at the next reset, or when `stop` is
    // requested. Any number of callers may wait at once.
    void waitUntilDrained(std::stop_token stop);
    // Starts a new generation and returns its number.
    qint64 reset();

    qint64 generation() const;
    qint64 pendingCount() const;
    // Callers currently waiting in acquireSlot.
    qsizetype waitingCount() const;

private:
    struct Waiter {
        bool resumed = false;
    };

    mutable std::mutex m_mutex;
    std::condition_variable_any m_changed;
    qint64 m_pendingCount = 0;
    qint64 m_generation = 0;
    std::deque<Waiter*> m_slotWaiters;
    // Raised whenever the outstanding slots reach 0 through a release or a reset.
    quint64 m_drainEpoch = 0;
};

} // namespace vessa
