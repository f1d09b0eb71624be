#pragma once

namespace vessa {

// The limits of the decoder helper and its worker processes: an
// address-space limit and no core files, set once in the helper (the workers
// inherit them), and a CPU-time budget per operation whose overrun kills the
// process (SIGXCPU).
namespace WorkerLimits {

// CPU seconds for one operation: opening, scanning, reading tags, seeking.
inline constexpr double operationSeconds = 3.0;
// Bytes of address space a worker may map.
inline constexpr unsigned long long addressSpaceBytes = 2ull << 30;

// Sets the memory limit and turns core files off.
void apply();
// Gives the next operation its CPU budget on top of the time used so far.
void startOperation();
// CPU time the worker has used so far, in seconds.
double cpuSecondsUsed();
// Lets the worker use this much CPU time in all before it is killed.
void allowCpuSeconds(double total);
// Reaching a point of a stream (a seek) renders or emulates everything before
// it: every second of audio passed over lets the operation use one more
// second of CPU time, so a file that emulates slower than real time fails as
// it would while playing, and any other may be sought as far as it goes.
// `startCpu` is the time used when the operation began.
void allowRealTime(double startCpu, double audioSeconds);

} // namespace WorkerLimits

} // namespace vessa
