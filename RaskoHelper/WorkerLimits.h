#pragma once

namespace vessa {

// The limits of a helper's worker process, set in the worker itself right
// after the fork: an address-space limit, no core files, and a CPU-time
// budget whose overrun kills the worker (SIGXCPU).
namespace WorkerLimits {

// CPU seconds for one operation: opening, scanning, reading tags, seeking.
inline constexpr double operationSeconds = 3.0;
// Bytes of address space a worker may map.
inline constexpr unsigned long long addressSpaceBytes = 2ull << 30;

// Sets the memory limit and an operation's CPU budget.
void apply();
// CPU time the worker has used so far, in seconds.
double cpuSecondsUsed();
// Lets the worker use this much CPU time in all before it is killed.
void allowCpuSeconds(double total);

} // namespace WorkerLimits

} // namespace vessa
