#pragma once

#include "Rasko/DecoderPlugin.h"
#include "Rasko/MetadataExtractor.h"

namespace vessa {

// Decodes and reads the tags of the common audio formats through FFmpeg:
// "mp3", "m4a", "aac", "alac", "wav", "aiff", "aif", "flac", "caf". Streams are
// planar 32-bit float at the file's own rate and channel count, decoded
// `framesPerChunk` frames per buffer inside each next() call, and seek to the
// exact frame. Files on disk and in-memory data (ZIP archive members) both
// play and both give their tags.
//
// Immutable after construction: any thread may call open, extract and the
// streams' seek operations, any number at once. Both block on disk and
// decoding, so callers stay off the main thread.
class CoreAudioDecoderPlugin final : public DecoderPlugin, public MetadataExtractor {
public:
    // framesPerChunk: frames per decoded buffer, at least 1 (the application uses 8192).
    explicit CoreAudioDecoderPlugin(quint32 framesPerChunk);

    QString name() const override;
    QSet<QString> supportedExtensions() const override;
    quint32 framesPerChunk() const { return m_framesPerChunk; }

    // Throws CoreAudioDecoderError when FFmpeg cannot open the file or its audio
    // stream. The sub-track index and the hints are ignored.
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                     const DecoderHints& hints) override;

    // Title, artist, album, track and disc number, cover art and duration of a
    // file or of in-memory data (see readAudioFileTags). Throws
    // CoreAudioDecoderError when it holds no decodable audio stream or no
    // audio data at all.
    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override;

private:
    const QString m_name;
    const QSet<QString> m_supportedExtensions;
    const quint32 m_framesPerChunk;
};

} // namespace vessa
