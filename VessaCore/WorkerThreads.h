#pragma once

#include <functional>
#include <stop_token>
#include <vector>

namespace vessa {

// The one way work is split across threads: pieces that run side by side on
// a fixed set of lasting threads that the whole process shares, and are all
// waited for.
//
// The threads are started when first needed, up to threadCount, and last as
// long as the process. Their heaps are their own: memory that pieces leave
// behind (the library's texts) is not handed to some short-lived thread that
// starts later. They are not Qt's global pool, which Qt spreads painting over
// and the main thread waits for.
//
// Threads: every call may come from any thread, a piece included.
namespace WorkerThreads {

using Piece = std::function<void(std::stop_token stop)>;

// Room for a scan's readers with the library's reading and sorting beside them.
constexpr int threadCount = 16;

// Hands every piece to the threads, runs `meanwhile` on the calling thread,
// then runs itself the pieces no thread has taken yet, and returns once all
// of them have finished. So a piece may split its work again with run(): no
// call waits for a thread to come free. `meanwhile` may wait for what the
// pieces do (a scan's writer waits for its readers) only in a call made off
// these threads: the pieces may have to wait for a thread, and a worker
// thread waiting so could hold up the very pieces it waits for.
//
// All of them are handed one stop token, requested when `stop` is or when one
// of them fails; a piece not started by then is not started at all. Once
// everything has finished, the first failure is rethrown. When the system
// refuses a new thread (a limit on processes, threads or address space), the
// pieces wait for the threads there are; with none at all, the caller runs
// them itself, before `meanwhile`. run() neither returns nor throws while a
// piece of the call may still run.
void run(std::vector<Piece> pieces, const Piece& meanwhile = {}, std::stop_token stop = {});

// Runs `job` on one of the threads with nobody waiting for it: work that
// the main thread hands off, such as giving freed memory back. A job still
// waiting when the process ends is dropped. A job that no thread can take
// now (the system refuses a new one) waits for the next that can.
void start(std::function<void()> job);

} // namespace WorkerThreads

} // namespace vessa
