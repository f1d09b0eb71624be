#pragma once

namespace vessa {

// Hands the memory the process has freed back to the system, in every
// allocator arena, so that a long-running process does not keep the peak of
// each library it has replaced. Takes a while on a large heap: call it off
// the main thread.
void releaseFreedMemory();

} // namespace vessa
