#include "Vessa/App/System/PaintThreads.h"

#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace vessa::PaintThreads {

namespace {

// What keepStarted() asked for; lives as long as the process, as the pool's
// threads do.
struct Kept {
    int count = 0;               // main thread
    std::atomic<int> started{0}; // pool threads
    std::atomic<bool> handedOut{false};
};

Kept& kept()
{
    static Kept state;
    return state;
}

} // namespace

void keepStarted()
{
    Kept& state = kept();
    QThreadPool* pool = QThreadPool::globalInstance();
    if (state.count > 0 || !pool)
        return;
    state.count = std::min(pool->maxThreadCount(), keptCount);
    pool->setMaxThreadCount(state.count);
    // Idle threads wait for work for good instead of ending after a while.
    pool->setExpiryTimeout(-1);
    // Each task holds its thread until all are handed out, so that every one
    // of them starts a thread of its own.
    for (int i = 0; i < state.count; ++i) {
        pool->start([&state] {
            ++state.started;
            state.handedOut.wait(false);
        });
    }
    state.handedOut = true;
    state.handedOut.notify_all();
}

bool allStarted()
{
    const Kept& state = kept();
    return state.started.load() >= state.count;
}

void exitIfAnyNeverStarted(int exitCode)
{
    if (allStarted())
        return;
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace vessa::PaintThreads
