#pragma once

#include "Rasko/SourceLocator.h"
#include "RaskoCoreAudio/AudioContainer.h"
#include "RaskoCoreAudio/FFmpegHandles.h"
#include "VessaCore/AudioFormat.h"

#include <QString>

#include <memory>
#include <optional>

struct AVStream;

namespace vessa {

// An audio file opened with FFmpeg: the container, its best audio stream and
// that stream's decoder, ready to read packets. A file on disk or the bytes of
// a data locator. Used by one thread at a time.
class AudioFileInput {
public:
    // Throws CoreAudioDecoderError (openFailed, with FFmpeg's message) when the
    // container cannot be read or holds no audio stream that can be decoded.
    explicit AudioFileInput(const SourceLocator& locator);
    ~AudioFileInput();

    AudioFileInput(const AudioFileInput&) = delete;
    AudioFileInput& operator=(const AudioFileInput&) = delete;

    // How messages name a locator: the file name, or "in-memory data".
    static QString displayName(const SourceLocator& locator) { return AudioContainer::displayName(locator); }

    AVFormatContext* formatContext() const { return m_container.formatContext(); }
    AVCodecContext* codecContext() const { return m_codec.get(); }
    AVStream* stream() const { return m_stream; }
    int streamIndex() const { return m_streamIndex; }

    // The file's own rate and channel count as planar 32-bit float.
    AudioFormat format() const { return m_audioFormat; }
    // Seconds: the stream's duration, else the container's; absent when unknown.
    std::optional<double> duration() const { return m_duration; }
    // The length in frames that decoding is clamped to; absent when the length
    // is unknown or only estimated from the bit rate.
    std::optional<qint64> lengthInFrames() const { return m_lengthInFrames; }
    // A length FFmpeg could only estimate from the bit rate (raw ADTS AAC) is
    // counted from the packets instead, as the tag reader counts it, so that
    // the stream and the library give the same length: the file is read once
    // more, without decoding. Any other length stays; so does the estimate
    // when the packets do not tell their durations.
    void countEstimatedLength(const SourceLocator& locator);
    // Lossless codecs decode exactly from any packet; others need a run-in.
    bool isLossless() const { return m_lossless; }
    // The frame number of a decoded frame's timestamp (stream time base),
    // counted from the stream's start.
    qint64 framePosition(qint64 timestamp) const;
    // A frame number as a timestamp in the stream's time base.
    qint64 timestamp(qint64 framePosition) const;

private:
    void readLength();

    AudioContainer m_container;
    CodecContextPtr m_codec;
    AVStream* m_stream = nullptr;
    int m_streamIndex = -1;
    AudioFormat m_audioFormat;
    std::optional<double> m_duration;
    std::optional<qint64> m_lengthInFrames;
    bool m_lossless = false;
};

} // namespace vessa
