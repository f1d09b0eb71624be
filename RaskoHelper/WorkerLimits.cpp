#include "RaskoHelper/WorkerLimits.h"

#include <cmath>

#include <sys/resource.h>
#include <time.h>

namespace vessa::WorkerLimits {

namespace {

// Every sanitizer reserves terabytes of address space up front for its
// shadow memory or allocator: a sanitized build sets no address-space limit.
#if defined(VESSA_SANITIZED_BUILD)
constexpr bool limitAddressSpace = false;
#else
constexpr bool limitAddressSpace = true;
#endif

} // namespace

void apply()
{
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (limitAddressSpace) {
        const rlimit memory{addressSpaceBytes, addressSpaceBytes};
        setrlimit(RLIMIT_AS, &memory);
    }
}

void startOperation()
{
    allowCpuSeconds(cpuSecondsUsed() + operationSeconds);
}

double cpuSecondsUsed()
{
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

void allowRealTime(double startCpu, double audioSeconds)
{
    allowCpuSeconds(startCpu + operationSeconds + audioSeconds);
}

void allowCpuSeconds(double total)
{
    rlimit cpu{};
    getrlimit(RLIMIT_CPU, &cpu);
    // The limit counts whole seconds; the hard limit stays where it is, so
    // that the budget can grow as a stream renders.
    cpu.rlim_cur = static_cast<rlim_t>(std::ceil(total));
    if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur > cpu.rlim_max)
        cpu.rlim_cur = cpu.rlim_max;
    setrlimit(RLIMIT_CPU, &cpu);
}

} // namespace vessa::WorkerLimits
