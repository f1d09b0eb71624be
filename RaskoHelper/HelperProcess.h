#pragma once

#include "RaskoHelper/HelperChannel.h"
#include "RaskoHelper/PcmRing.h"

#include <QString>

#include <memory>
#include <stop_token>

#include <sys/types.h>

namespace vessa {

// One running decoder helper, seen from the program: a process of the helper
// executable in a process group of its own, and the socket to it. The helper
// serves each operation in a fresh worker process that it forks, so a worker
// that crashes or overruns its limits costs that operation only: the helper
// answers "crashed" and stays usable.
//
// Every wait is bounded by a deadline and ends at once when the stop token
// fires; a helper that times out or is stopped is killed (with its worker) and
// unusable from then on. Destroying the object kills a helper that is not
// idle and always reaps it. One thread uses an object at a time.
class HelperProcess {
public:
    using Clock = HelperChannel::Clock;

    enum class Failure {
        stopped, // the stop token fired
        timedOut,
        crashed, // the worker or the helper itself died, or could not be started
    };
    struct FailureError {
        Failure failure;
    };

    // Starts the executable. Throws FailureError{crashed} when it cannot.
    explicit HelperProcess(const QString& executable);
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Throw FailureError. receive() turns the helper's "crashed" reply into
    // FailureError{crashed} as well, leaving the helper usable.
    void send(const HelperMessage& message, Clock::time_point deadline, std::stop_token stop);
    HelperMessage receive(Clock::time_point deadline, std::stop_token stop);

    // Still running and in step with the program.
    bool isUsable() const { return m_usable; }
    // Replies still due to requests already sent.
    int pendingReplies() const { return m_pendingReplies; }
    void expectReplies(int count) { m_pendingReplies += count; }

    // Reads and drops the replies still due, within the deadline. False (and
    // unusable) when they do not come.
    bool drain(Clock::time_point deadline);

    // Kills the helper and its worker now.
    void kill();

    // The memory the helper's streams render into.
    const PcmRing& pcmRing() const { return *m_ring; }

private:
    void fail(HelperChannel::Status status);

    pid_t m_pid = -1;
    std::unique_ptr<HelperChannel> m_channel;
    std::unique_ptr<PcmRing> m_ring;
    int m_wakeFd = -1;
    int m_pendingReplies = 0;
    bool m_usable = false;
};

} // namespace vessa
