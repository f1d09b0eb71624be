#include "VessaCore/FreedMemory.h"

#include "VessaCore/ListSizes.h"
#include "VessaCore/WorkerThreads.h"

#include <atomic>

// Any C library header tells which C library this is.
#include <cstdlib>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace vessa {

namespace {

// Whether a release was asked for and has not begun: the allocator is the
// process's, and so is this mark.
std::atomic<bool> releaseWaiting{false};

} // namespace

void FreedMemory::setAllocatorPolicy()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, separateMappingThreshold);
    mallopt(M_MXFAST, fastBinLimit);
#endif
}

void FreedMemory::releaseAfter(qsizetype freedEntries) noexcept
{
    if (freedEntries < ListSizes::largeList || releaseWaiting.exchange(true))
        return;
    try {
        // Waits for a thread when the system refuses a new one.
        WorkerThreads::start([] {
            // What is freed from here on asks for a release of its own.
            releaseWaiting = false;
            releaseNow();
        });
    } catch (...) {
        // Not even queued, for want of memory: the next large list asks again.
        releaseWaiting = false;
    }
}

void FreedMemory::releaseNow()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace vessa
