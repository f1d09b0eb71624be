#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

struct AVInputFormat;

namespace vessa {

// Names the demuxer of an audio file from its first bytes, so FFmpeg need not
// run every format's probe on growing reads of the file (most of the cost of
// opening a file to read its tags). Knows the formats this plug-in plays:
// FLAC, WAV, AIFF, CAF, MP4/M4A, ADTS AAC and MPEG audio, the last three also
// behind an ID3v2 tag. Anything else, or a signature that fits no format,
// gives null, and the caller lets FFmpeg probe.
class ContainerSignature {
public:
    // Reads up to `count` bytes at `offset` of the data; fewer at its end.
    using ReadAt = std::function<QByteArray(qint64 offset, int count)>;

    static const AVInputFormat* demuxer(const ReadAt& read);
    // The first bytes of a file on disk, read by its path's bytes.
    static ReadAt fileReader(const QByteArray& path);
    static ReadAt memoryReader(QByteArrayView bytes);
};

} // namespace vessa
