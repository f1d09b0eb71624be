#pragma once

#include "Rasko/SourceLocator.h"
#include "RaskoCoreAudio/FFmpegHandles.h"
#include "VessaCore/PcmBufferStream.h"

#include <memory>
#include <optional>
#include <vector>

namespace vessa {

class AudioFileInput;
class SampleConverter;

// The buffers of one opened track, from a start frame to the end, decoded
// inside each next() call: every buffer holds exactly `framesPerChunk` frames
// of the track's fixed format except the last. Decoding stops at the track's
// known length (some encoders leave a tail of padding). The end of the data,
// a read or decode error and a stop request all end the stream the same way.
// One consumer; destroying the stream frees every FFmpeg object it holds.
class AudioFileBufferStream final : public PcmBufferStream {
public:
    // What every stream of one opened track shares.
    struct Source {
        SourceLocator locator;
        AudioFormat format;
        std::optional<qint64> lengthInFrames;
        quint32 framesPerChunk = 1;
    };

    // Decodes from `startFrame` (0 or less: from the start, no seek). `input`
    // is the already opened file, or null to open it on the first next(); a
    // file that cannot be opened then gives an empty stream.
    AudioFileBufferStream(std::shared_ptr<const Source> source, qint64 startFrame,
                          std::unique_ptr<AudioFileInput> input);
    ~AudioFileBufferStream() override;

    AudioFileBufferStream(const AudioFileBufferStream&) = delete;
    AudioFileBufferStream& operator=(const AudioFileBufferStream&) = delete;

    std::optional<PCMBuffer> next(std::stop_token stop) override;

private:
    // Where the track position of the next decoded frame comes from.
    enum class PositionSource { known, nextTimestamp };
    // Decoding so far: nothing yet, under way, or ended for good.
    enum class Phase { notStarted, decoding, finished };

    bool start();
    bool openInput();
    bool positionAt(qint64 target);
    bool seekInput(qint64 frame);
    // Forgets everything decoded so far; decoding goes on at `frame`.
    void restartDecodingAt(qint64 frame, PositionSource source);
    bool decodeMore();
    qint64 pendingFrames() const;
    void dropPending(qint64 count);
    void finish();

    std::shared_ptr<const Source> m_source;
    qint64 m_startFrame;
    std::unique_ptr<AudioFileInput> m_input;
    PacketPtr m_packet;
    FramePtr m_frame;
    std::unique_ptr<SampleConverter> m_converter;
    // Converted frames not handed out yet, one vector per channel; the first
    // of them is frame number m_position of the track.
    std::vector<std::vector<float>> m_pending;
    qint64 m_position = 0;
    // Right after a seek the next decoded frame's timestamp tells m_position.
    PositionSource m_positionSource = PositionSource::known;
    bool m_inputTouched = false;
    bool m_inputEnded = false;
    bool m_decoderDone = false;
    Phase m_phase = Phase::notStarted;
};

} // namespace vessa
