#include "RaskoHelper/HelperSession.h"

#include "VessaCore/DecoderStoppedError.h"

#include <algorithm>
#include <cmath>

namespace vessa {

namespace {

HelperLease acquireOrThrow(const std::shared_ptr<HelperPool>& pool, const std::optional<QString>& fileName)
{
    try {
        return pool->acquire();
    } catch (const HelperProcess::FailureError&) {
        throw DecoderStoppedError(fileName);
    }
}

} // namespace

HelperSession::HelperSession(const std::shared_ptr<HelperPool>& pool, std::optional<QString> fileName)
    : m_lease(acquireOrThrow(pool, fileName)), m_fileName(std::move(fileName))
{
}

void HelperSession::rethrow(const HelperProcess::FailureError& error) const
{
    if (error.failure == HelperProcess::Failure::stopped)
        throw CancellationError();
    throw DecoderStoppedError(m_fileName);
}

void HelperSession::post(const HelperMessage& message, std::stop_token stop, int replies)
{
    try {
        m_lease->send(message, HelperProcess::Clock::now() + replyTimeout, stop);
        m_lease->expectReplies(replies);
    } catch (const HelperProcess::FailureError& error) {
        rethrow(error);
    }
}

HelperMessage HelperSession::receive(std::stop_token stop, std::chrono::milliseconds allowance)
{
    try {
        return m_lease->receive(HelperProcess::Clock::now() + replyTimeout + allowance, stop);
    } catch (const HelperProcess::FailureError& error) {
        rethrow(error);
    }
}

HelperMessage HelperSession::request(const HelperMessage& message, std::stop_token stop)
{
    post(message, stop);
    return receive(stop);
}

HelperMessage HelperSession::requestSeek(const HelperMessage& message, double seconds, std::stop_token stop)
{
    constexpr double longest = 24 * 3600;
    const double allowed = std::isfinite(seconds) ? std::clamp(seconds, 0.0, longest) : 0.0;
    post(message, stop);
    return receive(stop, std::chrono::milliseconds(static_cast<qint64>(allowed * 1000)));
}

void HelperSession::closeStream()
{
    if (!m_lease->isUsable())
        return;
    try {
        // A short message to a socket with room for it: this does not wait.
        m_lease->send(HelperMessage{HelperMessageType::close, {}}, HelperProcess::Clock::now(), {});
    } catch (const HelperProcess::FailureError&) {
        // The helper is killed; the pool starts another next time.
    }
}

} // namespace vessa
