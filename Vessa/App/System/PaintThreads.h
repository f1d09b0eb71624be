#pragma once

#include <functional>

class QObject;

namespace vessa {

// Qt's raster painting splits a large fill, conversion or smooth scaling
// over Qt's global thread pool and waits until every piece has run. A piece
// handed to a thread that the system refused to start (a limit on processes
// or threads) never runs, so the main thread would wait for it for good; and
// Qt's own end waits for such a thread too.
//
// The program therefore starts a few of the pool's threads once, before
// anything paints, keeps them for good and holds the pool to them: painting
// then always finds its threads there and never asks the system for another.
// A few threads paint a window as fast as more do (bench_window_background).
// A start the system refuses leaves a dead thread in the pool for good: the
// program first checks that the system starts a thread at all, and sees a
// refusal that happens still at once (Qt reports it while the pool starts
// the thread), so that the pool's limit counts the dead thread too.
//
// Threads: main thread, with the application object alive.
namespace PaintThreads {

// How many threads the pool keeps (fewer where Qt would use fewer).
constexpr int keptCount = 4;

// Starts the pool's threads and keeps them; returns at once, without waiting
// for them to run. True once painting has at least one thread; false while
// the system refuses the first one, when nothing may paint yet (ask again
// later). Once true, later calls change nothing.
bool keepStarted();

// Calls `then` once keepStarted() is true: at once, or after asking again
// every threadStartRetryInterval on `context`'s thread (never once `context`
// is gone).
void whenStarted(QObject* context, std::function<void()> then);

// False when the system refused a thread keepStarted() asked for.
bool allStarted();

// Ends the process with `exitCode` at once when the system refused a thread
// keepStarted() asked for, so that Qt's end does not wait for it; otherwise
// returns. Called once the program's own objects are gone, when nothing is
// left to save.
void exitIfAnyNeverStarted(int exitCode);

} // namespace PaintThreads

} // namespace vessa
