#pragma once

#include "VessaCore/Error.h"

#include <QString>

#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

namespace vessa {

// The system refused to start a thread: a limit on processes or threads (a
// cgroup's pids.max, RLIMIT_NPROC) was reached, or there was no memory for
// its stack. The work that needed the thread has not started.
class ThreadStartError : public Error {
public:
    explicit ThreadStartError(const std::system_error& refusal);

    // The system's own words, e.g. "Resource temporarily unavailable".
    const QString& reason() const { return m_reason; }
    QString description() const override;

private:
    QString m_reason;
};

// How long work whose thread was refused waits before it asks again.
inline constexpr std::chrono::milliseconds threadStartRetryInterval{1000};

// Starts a std::jthread exactly as its constructor does, but reports a
// refusal as ThreadStartError, an error of the program's own that each
// caller handles (the work waits and asks again, or that one operation
// fails), never as an exception nothing expects. Every thread the program
// starts for itself starts here.
template <typename Function, typename... Args>
std::jthread startThread(Function&& function, Args&&... args)
{
    try {
        return std::jthread(std::forward<Function>(function), std::forward<Args>(args)...);
    } catch (const std::system_error& refusal) {
        throw ThreadStartError(refusal);
    }
}

} // namespace vessa
