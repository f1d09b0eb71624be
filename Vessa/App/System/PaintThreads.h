#pragma once

namespace vessa {

// Qt's raster painting splits a large fill or image conversion over Qt's
// global thread pool and waits until every piece has run. A piece handed to a
// thread that the system refused to start (a limit on processes or threads)
// never runs, so the main thread would wait for it for good; Qt's own end
// waits for such a thread too.
//
// The program therefore starts the pool's threads once, early, and keeps
// them for good, with the pool held to that many: later painting always
// finds its threads there and never asks the system for another. A few
// threads paint a window as fast as more do (bench_window_background).
//
// Threads: main thread, with the application object alive.
namespace PaintThreads {

// How many threads the pool keeps (fewer where Qt would use fewer).
constexpr int keptCount = 4;

// Starts the pool's threads and keeps them; returns at once, without waiting
// for them. Once is enough; later calls change nothing.
void keepStarted();

// True when every thread keepStarted() asked for has started (or it was not
// called). A thread the system refused never will: the pool still paints on
// the others, but Qt's end would wait for that one forever.
bool allStarted();

// Ends the process with `exitCode` at once when a kept thread never started,
// so that Qt's end does not wait for it; otherwise returns. Called once the
// program's own objects are gone, when nothing is left to save.
void exitIfAnyNeverStarted(int exitCode);

} // namespace PaintThreads

} // namespace vessa
