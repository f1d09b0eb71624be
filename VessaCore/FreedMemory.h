#pragma once

#include <QtGlobal>

namespace vessa {

// The one owner of how this program gives memory back to the system.
//
// A large library's lists (tracks, references, sort and search keys, rows,
// a scan's listing) run to megabytes and are built anew at every change of
// the library. What the list a new one replaces held must leave the
// process, or the process keeps the peak of every library it has held.
// glibc gives memory back in three ways, and the policy serves each:
//
// - A block of at least separateMappingThreshold bytes is mapped on its own
//   and unmapped when freed: large lists go back at once.
// - A thread's heap shrinks from its top, and goes back whole once nothing
//   in it is in use, but only through a free that merges at once with its
//   free neighbours: hence no fast bins (fastBinLimit).
// - releaseNow() hands back the free pages inside every heap, which is
//   what frees the blocks between the ones still in use. It walks every
//   heap, so releaseAfter() asks for it only once a large list was freed.
//
// The library's entries are read on the lasting worker threads
// (MediaDatabase::readLibrary, WorkerThreads), not on threads made for the
// read: a thread's heap passes to the next new thread once its own thread
// ends, so the entries of a library read on short-lived threads would share
// their heaps with whatever the next scan, list or play queue builds there,
// and the gaps those leave among the entries stay until the library goes.
// A worker thread keeps its heap while the process lives. For the same
// reason each of the read's connections has a small page cache of its own:
// the pages of a large one would leave gaps among the entries when the
// connection closes.
//
// Threads: setAllocatorPolicy() once, at the start of main(); the others
// from any thread.
class FreedMemory {
public:
    // glibc raises this threshold by default after the first such block is
    // freed, so that later lists land in the heaps, which then keep their
    // peak for good. Held fixed, every list from a quarter of a megabyte up
    // (about 10,000 tracks' references) stays returnable.
    static constexpr int separateMappingThreshold = 256 * 1024;
    // The largest block glibc keeps in its fast bins, unmerged until later.
    // A library's small blocks (its texts) are freed by the hundred thousand
    // when it is replaced; kept there, a heap they leave wholly free keeps
    // its pages. With none, every free merges at once (the per-thread caches
    // still serve the hot paths).
    static constexpr int fastBinLimit = 0;
    // Sets the allocator's thresholds for the whole process. Called once, at
    // the start of the program's main() (and of the benchmarks that measure
    // the program), before any thread starts; nothing that a test or another
    // program builds changes them.
    static void setAllocatorPolicy();

    // After a list of `freedEntries` entries was freed: when it was large
    // (ListSizes::largeList), hands the freed memory back on a worker thread
    // (WorkerThreads), so the caller never waits for it. A release that has
    // not begun yet covers later calls as well. Never throws: a release
    // that cannot be handed to a thread now is done later.
    static void releaseAfter(qsizetype freedEntries) noexcept;

    // Hands the memory the process has freed back to the system, from every
    // heap, on the calling thread. Takes a while on a large heap: never on
    // the main thread.
    static void releaseNow();
};

} // namespace vessa
