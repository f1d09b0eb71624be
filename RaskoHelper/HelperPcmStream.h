#pragma once

#include "RaskoHelper/HelperSession.h"

#include "VessaCore/AudioFormat.h"
#include "VessaCore/PcmBufferStream.h"

#include <functional>
#include <optional>

namespace vessa {

// The PCM of a stream a helper worker renders: batches of interleaved signed
// 16-bit stereo in the helper's PcmRing, handed out as buffers of at most
// `framesPerBuffer` frames in two Float32 channels (sample / 32768). The
// worker renders at most `batchesAhead` batches ahead of the one being read,
// so memory stays bounded however long the stream plays; batches are asked
// for half that many at a time, so the worker wakes once per request rather
// than per batch.
//
// The stream ends when the worker says so (`onEnded` gets the library's text
// when it ended on an error), when a stop is requested (the busy worker is
// killed), or when the helper fails or replies out of turn: then next() throws
// DecoderStoppedError once, and the stream stays finished. One consumer thread.
class HelperPcmStream final : public PcmBufferStream {
public:
    static constexpr int batchesAhead = PcmRing::slotCount - 1;
    static constexpr qsizetype framesPerBuffer = 8192;

    HelperPcmStream(HelperSession session, AudioFormat format, std::function<void(const QString&)> onEnded = {});
    ~HelperPcmStream() override;

    std::optional<PCMBuffer> next(std::stop_token stop) override;

private:
    void finish();
    void askForMore(std::stop_token stop);

    std::optional<HelperSession> m_session;
    AudioFormat m_format;
    std::function<void(const QString&)> m_onEnded;
    bool m_endReported = false;
    // The batch being handed out, inside the ring, and the bytes of it
    // handed out so far.
    const char* m_batch = nullptr;
    qsizetype m_batchSize = 0;
    qsizetype m_batchOffset = 0;
};

} // namespace vessa
