#pragma once

#include "RaskoHelper/HelperMessage.h"

#include <chrono>
#include <optional>

namespace vessa {

// One end of a SOCK_SEQPACKET socket carrying HelperMessages. A message is
// sent as packets of at most maxPacketPayload bytes, so that a worker that
// dies in the middle of a reply never leaves half a packet behind: the helper's
// own "crashed" reply follows the last whole packet, and the reader notices a
// new message where a continuation was due.
//
// Waits are bounded by a deadline and woken by a file descriptor (an eventfd
// written when a stop is requested). Used by one thread at a time.
class HelperChannel {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int maxPacketPayload = 48 * 1024;

    enum class Status { ok, closed, timedOut, woken };

    // Takes the descriptor, which it closes; makes it non-blocking.
    explicit HelperChannel(int fd);
    ~HelperChannel();
    HelperChannel(const HelperChannel&) = delete;
    HelperChannel& operator=(const HelperChannel&) = delete;

    int fd() const { return m_fd; }

    // No deadline waits for ever; a wakeFd of -1 is never woken.
    Status send(const HelperMessage& message, std::optional<Clock::time_point> deadline = {}, int wakeFd = -1);
    Status receive(HelperMessage& message, std::optional<Clock::time_point> deadline = {}, int wakeFd = -1);

private:
    Status waitFor(short events, std::optional<Clock::time_point> deadline, int wakeFd);

    int m_fd;
};

} // namespace vessa
