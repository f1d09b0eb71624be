#pragma once

#include <QSemaphore>
#include <QThreadPool>

#include <atomic>

namespace vessa::test {

// Holds every thread of Qt's global pool, as long background work would,
// until release() or ten seconds have passed; work that needs one of those
// threads meanwhile waits for that long.
class BusyGlobalPool {
public:
    BusyGlobalPool() : m_threads(QThreadPool::globalInstance()->maxThreadCount())
    {
        for (int i = 0; i < m_threads; ++i) {
            QThreadPool::globalInstance()->start([this] {
                if (!m_release.tryAcquire(1, 10'000))
                    ++m_gaveUp;
            });
        }
    }
    ~BusyGlobalPool() { release(); }
    BusyGlobalPool(const BusyGlobalPool&) = delete;
    BusyGlobalPool& operator=(const BusyGlobalPool&) = delete;

    // Lets the threads go. True when one of them had given up first, that
    // is, something waited for the pool until then.
    bool release()
    {
        const bool waited = m_gaveUp.load() > 0;
        m_release.release(m_threads);
        m_threads = 0;
        QThreadPool::globalInstance()->waitForDone();
        return waited;
    }

private:
    int m_threads;
    QSemaphore m_release;
    std::atomic<int> m_gaveUp{0};
};

} // namespace vessa::test
