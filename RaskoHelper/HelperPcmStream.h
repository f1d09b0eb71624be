#pragma once

#include "RaskoHelper/HelperSession.h"

#include "VessaCore/AudioFormat.h"
#include "VessaCore/PcmBufferStream.h"

#include <functional>
#include <optional>

namespace vessa {

// The PCM of a stream a helper worker renders: interleaved signed 16-bit
// stereo chunks, turned into two Float32 channels (sample / 32768). The
// worker renders at most `chunksAhead` chunks ahead of the consumer, so memory
// stays bounded however long the stream plays; chunks are asked for half that
// many at a time, so the worker wakes once per batch rather than per chunk.
//
// The stream ends when the worker says so (`onEnded` gets the library's text
// when it ended on an error), when a stop is requested (the busy worker is
// killed), or when the helper fails: then next() throws
// DecoderStoppedError once, and the stream stays finished. One consumer thread.
class HelperPcmStream final : public PcmBufferStream {
public:
    static constexpr int chunksAhead = 8;

    HelperPcmStream(HelperSession session, AudioFormat format, std::function<void(const QString&)> onEnded = {});
    ~HelperPcmStream() override;

    std::optional<PCMBuffer> next(std::stop_token stop) override;

    // Interleaved 16-bit stereo to two Float32 channels.
    static PCMBuffer convert(const QByteArray& interleaved, AudioFormat format);

private:
    void finish();

    std::optional<HelperSession> m_session;
    AudioFormat m_format;
    std::function<void(const QString&)> m_onEnded;
    bool m_endReported = false;
};

} // namespace vessa
