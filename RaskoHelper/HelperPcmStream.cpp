#include "RaskoHelper/HelperPcmStream.h"

#include "VessaCore/DecoderStoppedError.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace vessa {

namespace {

constexpr float sampleScale = 1.0f / 32768.0f;

// Four frames of 16-bit stereo, each frame one word, and four samples of one
// channel, for GCC's and Clang's vector extensions.
using FrameWords = std::uint32_t __attribute__((vector_size(16)));
using SampleWords = std::int32_t __attribute__((vector_size(16)));
using Samples = float __attribute__((vector_size(16)));
constexpr qsizetype framesPerVector = sizeof(FrameWords) / 4;
// The left sample, stored first, is the low half of its frame's word.
constexpr bool leftIsLowHalf = std::endian::native == std::endian::little;

// Interleaved 16-bit stereo to two Float32 channels. The ring's slots start
// on a page and hold whole frames: the samples are aligned.
//
// When the machine has no idle CPU this thread runs on the worker's: each
// reply wakes it there and it runs before the worker goes on, so whatever it
// spends per frame is added to the worker's time. Four frames are converted
// at a time: g++ does not vectorise the plain loop over interleaved samples,
// which took about 1 ns a frame, a tenth of what libmikmod takes to render a
// four-channel module. The values are the same.
PCMBuffer convert(const char* interleaved, qsizetype frames, AudioFormat format)
{
    std::vector<float> left(static_cast<std::size_t>(frames));
    std::vector<float> right(static_cast<std::size_t>(frames));
    float* const l = left.data();
    float* const r = right.data();
    qsizetype i = 0;
    for (; i + framesPerVector <= frames; i += framesPerVector) {
        FrameWords words;
        std::memcpy(&words, interleaved + 4 * i, sizeof words);
        const SampleWords low = std::bit_cast<SampleWords>(words << 16) >> 16;
        const SampleWords high = std::bit_cast<SampleWords>(words) >> 16;
        const Samples leftSamples = __builtin_convertvector(leftIsLowHalf ? low : high, Samples) * sampleScale;
        const Samples rightSamples = __builtin_convertvector(leftIsLowHalf ? high : low, Samples) * sampleScale;
        std::memcpy(l + i, &leftSamples, sizeof leftSamples);
        std::memcpy(r + i, &rightSamples, sizeof rightSamples);
    }
    const auto* samples = reinterpret_cast<const qint16*>(interleaved);
    for (; i < frames; ++i) {
        l[i] = static_cast<float>(samples[2 * i]) * sampleScale;
        r[i] = static_cast<float>(samples[2 * i + 1]) * sampleScale;
    }
    std::vector<std::vector<float>> channels;
    channels.reserve(2);
    channels.push_back(std::move(left));
    channels.push_back(std::move(right));
    return PCMBuffer(format, std::move(channels));
}

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

void HelperPcmStream::askForMore(std::stop_token stop)
{
    if (const int pending = m_session->pendingReplies(); !m_endReported && pending <= batchesAhead / 2) {
        const int count = batchesAhead - pending;
        m_session->post(HelperMessage{HelperMessageType::render, helperPayload(qint32(count))}, stop, count);
    }
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
        if (m_batchOffset >= m_batchSize) {
            askForMore(stop);
            const HelperMessage reply = m_session->receive(stop);
            qint32 slot = -1, bytes = 0;
            if (reply.type == HelperMessageType::pcm) {
                if (!readHelperPayload(reply.payload, slot, bytes) || !PcmRing::isValid(slot, bytes)) {
                    m_session->abandon();
                    throw DecoderStoppedError(m_session->fileName());
                }
                m_batch = m_session->pcmRing().slot(slot);
                m_batchSize = bytes;
                m_batchOffset = 0;
            } else {
                m_endReported = true;
                QString error;
                if (reply.type == HelperMessageType::ended && readHelperPayload(reply.payload, error)
                    && !error.isEmpty() && m_onEnded)
                    m_onEnded(error);
                finish();
                return std::nullopt;
            }
        }
        const qsizetype frames = std::min<qsizetype>((m_batchSize - m_batchOffset) / 4, framesPerBuffer);
        PCMBuffer buffer = convert(m_batch + m_batchOffset, frames, m_format);
        m_batchOffset += 4 * frames;
        return buffer;
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
