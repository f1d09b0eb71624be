#pragma once

#include "RaskoHelper/HelperPool.h"

#include <chrono>
#include <optional>
#include <stop_token>

namespace vessa {

// The operations of one file on one leased helper: an extract, a scan, or a
// stream with its render requests. A helper that fails (crashes, overruns,
// cannot start) turns into DecoderStoppedError naming the file; a stop
// request into CancellationError. Used by one thread at a time.
class HelperSession {
public:
    // How long the program waits for one reply before it gives the helper up.
    // The helper's own CPU limits end a busy worker well before that.
    static constexpr auto replyTimeout = std::chrono::seconds(20);

    // Throws DecoderStoppedError when no helper can be started.
    HelperSession(const std::shared_ptr<HelperPool>& pool, std::optional<QString> fileName);

    // Sends a request and waits for its reply.
    HelperMessage request(const HelperMessage& message, std::stop_token stop = {});
    // The same for a seek to `seconds`, which the worker may spend real time on.
    HelperMessage requestSeek(const HelperMessage& message, double seconds, std::stop_token stop);
    // Sends a request whose replies (as many as `replies`) are read later
    // with receive().
    void post(const HelperMessage& message, std::stop_token stop = {}, int replies = 1);
    HelperMessage receive(std::stop_token stop = {}, std::chrono::milliseconds allowance = {});

    int pendingReplies() const { return m_lease->pendingReplies(); }
    // Ends the worker's stream; its unread replies are dropped later.
    void closeStream();
    // Kills the helper now (a stream dropped while it waits).
    void abandon() { m_lease->kill(); }

    const std::optional<QString>& fileName() const { return m_fileName; }
    const PcmRing& pcmRing() const { return m_lease->pcmRing(); }

private:
    [[noreturn]] void rethrow(const HelperProcess::FailureError& error) const;

    HelperLease m_lease;
    std::optional<QString> m_fileName;
};

} // namespace vessa
