#pragma once

#include "Rasko/SourceLocator.h"
#include "RaskoCoreAudio/FFmpegHandles.h"

#include <QString>

#include <memory>
#include <optional>

struct AVCodec;
struct AVInputFormat;
struct AVStream;

namespace vessa {

class MemoryIOContext;

// An audio file's container opened with FFmpeg, its header read: a file on
// disk (its path passed byte-exact) or the bytes of a data locator, read
// through a custom I/O context. The demuxer is taken from the file's
// signature where it names one (see ContainerSignature). Nothing is probed
// or decoded beyond the header until findStreamInfo() is asked for. Used by
// one thread at a time.
class AudioContainer {
public:
    // Throws CoreAudioDecoderError::openFailed with FFmpeg's message when the
    // container cannot be read.
    explicit AudioContainer(const SourceLocator& locator);
    ~AudioContainer();

    AudioContainer(const AudioContainer&) = delete;
    AudioContainer& operator=(const AudioContainer&) = delete;

    // How messages name a locator: the file name, or "in-memory data".
    static QString displayName(const SourceLocator& locator);
    const QString& name() const { return m_name; }

    AVFormatContext* formatContext() const { return m_format.get(); }

    // Reads packets (and decodes some) until every stream's parameters are
    // known; the packets read stay queued for the next reads.
    void findStreamInfo();
    // The best audio stream with a decoder FFmpeg has, every other stream set
    // to be discarded; `codec` receives the decoder. Throws openFailed.
    AVStream* bestAudioStream(const AVCodec** codec);
    // Sets every stream but this one to be discarded.
    void readOnly(const AVStream* stream);

    // How far readAudioPackets() reads.
    enum class Reach { firstAudioPacket, endOfData };
    // Reads packets without decoding them, from where reading stands. Gives
    // the stream's packets' total duration in seconds, or nothing when a
    // packet does not tell its duration. Throws openFailed when there is no
    // packet of the stream at all.
    std::optional<double> readAudioPackets(const AVStream& stream, Reach reach);

    // Throws CoreAudioDecoderError::openFailed with FFmpeg's message.
    [[noreturn]] void fail(int ffmpegError) const;
    [[noreturn]] void fail(const QString& message) const;

private:
    // Opens the container with the demuxer, or probing for one when null;
    // FFmpeg's result.
    int open(const SourceLocator& locator, const QByteArray& path, const AVInputFormat* demuxer);

    QString m_name;
    // Declared before the format context, so it is destroyed after it.
    std::unique_ptr<MemoryIOContext> m_memory;
    FormatContextPtr m_format;
};

} // namespace vessa
