#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace vessa {

// A bounded lock-free queue of pointers between exactly one producing and one
// consuming thread. Neither side ever waits or allocates.
template <typename T, std::size_t Capacity>
class SpscRing {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // Producer side. Returns false when full.
    bool push(T* item)
    {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) == Capacity)
            return false;
        m_items[tail & (Capacity - 1)] = item;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Producer side: whether a push would succeed now. Room only grows until
    // the producer pushes again.
    bool hasRoom() const
    {
        return m_tail.load(std::memory_order_relaxed) - m_head.load(std::memory_order_acquire) < Capacity;
    }

    // Consumer side. nullptr when empty.
    T* front() const
    {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_acquire))
            return nullptr;
        return m_items[head & (Capacity - 1)];
    }

    // Consumer side; only after front() returned an item.
    void pop() { m_head.store(m_head.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    // Consumer side. nullptr when empty.
    T* take()
    {
        T* item = front();
        if (item)
            pop();
        return item;
    }

private:
    std::array<T*, Capacity> m_items{};
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};

} // namespace vessa
