#include "RaskoHelper/HelperPcmStream.h"

#include "RaskoHelper/HelperError.h"

#include <cstring>

namespace vessa {

namespace {

constexpr float sampleScale = 1.0f / 32768.0f;

} // namespace

HelperPcmStream::HelperPcmStream(HelperSession session, AudioFormat format, std::function<void(const QString&)> onEnded)
    : m_session(std::move(session)), m_format(format), m_onEnded(std::move(onEnded))
{
}

HelperPcmStream::~HelperPcmStream()
{
    finish();
}

void HelperPcmStream::finish()
{
    if (!m_session)
        return;
    // The worker may still be rendering the chunks asked for ahead: it
    // finishes them, reads the close and ends; the pool drops those replies
    // before the helper serves again.
    m_session->closeStream();
    m_session.reset();
}

PCMBuffer HelperPcmStream::convert(const QByteArray& interleaved, AudioFormat format)
{
    const auto frames = static_cast<std::size_t>(interleaved.size() / 4);
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    const char* in = interleaved.constData();
    for (std::size_t i = 0; i < frames; ++i) {
        qint16 samples[2];
        std::memcpy(samples, in + 4 * i, sizeof samples);
        left[i] = static_cast<float>(samples[0]) * sampleScale;
        right[i] = static_cast<float>(samples[1]) * sampleScale;
    }
    std::vector<std::vector<float>> channels;
    channels.reserve(2);
    channels.push_back(std::move(left));
    channels.push_back(std::move(right));
    return PCMBuffer(format, std::move(channels));
}

std::optional<PCMBuffer> HelperPcmStream::next(std::stop_token stop)
{
    if (!m_session)
        return std::nullopt;
    if (stop.stop_requested()) {
        finish();
        return std::nullopt;
    }
    try {
        if (const int pending = m_session->pendingReplies(); !m_endReported && pending <= chunksAhead / 2) {
            const int count = chunksAhead - pending;
            m_session->post(HelperMessage{HelperMessageType::render, helperPayload(qint32(count))}, stop, count);
        }
        const HelperMessage reply = m_session->receive(stop);
        if (reply.type == HelperMessageType::pcm)
            return convert(reply.payload, m_format);
        m_endReported = true;
        QString error;
        if (reply.type == HelperMessageType::ended && readHelperPayload(reply.payload, error) && !error.isEmpty()
            && m_onEnded)
            m_onEnded(error);
        finish();
        return std::nullopt;
    } catch (const CancellationError&) {
        m_session.reset(); // killed already
        return std::nullopt;
    } catch (const DecoderStoppedError&) {
        // The player reports it when what was decoded before has played.
        m_session.reset();
        throw;
    }
}

} // namespace vessa
