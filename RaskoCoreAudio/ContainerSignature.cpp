#include "RaskoCoreAudio/ContainerSignature.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QHash>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace vessa {

namespace {

constexpr int headSize = 12;

quint8 at(QByteArrayView head, qsizetype index)
{
    return index < head.size() ? static_cast<quint8>(head[index]) : 0;
}

bool startsWith(QByteArrayView head, qsizetype offset, const char (&text)[5])
{
    return head.size() >= offset + 4 && head.sliced(offset, 4) == QByteArrayView(text, 4);
}

// The demuxer's name for a head that does not start with an ID3v2 tag.
const char* formatName(QByteArrayView head)
{
    if (startsWith(head, 0, "fLaC"))
        return "flac";
    if ((startsWith(head, 0, "RIFF") && startsWith(head, 8, "WAVE")) || startsWith(head, 0, "RF64"))
        return "wav";
    if (startsWith(head, 0, "FORM") && (startsWith(head, 8, "AIFF") || startsWith(head, 8, "AIFC")))
        return "aiff";
    if (startsWith(head, 0, "caff"))
        return "caf";
    if (startsWith(head, 4, "ftyp"))
        return "mov";
    // A frame sync: layer bits 00 mark ADTS, anything else MPEG audio.
    if (at(head, 0) == 0xFF && (at(head, 1) & 0xE0) == 0xE0)
        return (at(head, 1) & 0x06) == 0 ? ((at(head, 1) & 0xF0) == 0xF0 ? "aac" : nullptr) : "mp3";
    return nullptr;
}

// The length of the ID3v2 tag the head starts with, footer included; 0 without one.
qint64 id3v2Length(QByteArrayView head)
{
    if (head.size() < 10 || !head.startsWith("ID3") || at(head, 3) == 0xFF || at(head, 4) == 0xFF)
        return 0;
    qint64 size = 0;
    for (int i = 6; i < 10; ++i) {
        if (at(head, i) & 0x80)
            return 0;
        size = size << 7 | at(head, i);
    }
    return 10 + size + ((at(head, 5) & 0x10) ? 10 : 0);
}

// FFmpeg finds a demuxer by name in a list of hundreds; the few named here
// are looked up once.
const AVInputFormat* demuxerNamed(const char* name)
{
    static const auto known = [] {
        QHash<QByteArray, const AVInputFormat*> formats;
        for (const char* format : {"flac", "wav", "aiff", "caf", "mov", "aac", "mp3"})
            formats.insert(format, av_find_input_format(format));
        return formats;
    }();
    return known.value(name, nullptr);
}

} // namespace

const AVInputFormat* ContainerSignature::demuxer(const ReadAt& read)
{
    QByteArray head = read(0, headSize);
    if (const qint64 tag = id3v2Length(head)) {
        head = read(tag, headSize);
        const char* name = formatName(head);
        // FFmpeg reads a leading ID3v2 tag itself, before the demuxer starts.
        if (!name || (qstrcmp(name, "mp3") != 0 && qstrcmp(name, "aac") != 0 && qstrcmp(name, "flac") != 0))
            return nullptr;
        return demuxerNamed(name);
    }
    const char* name = formatName(head);
    return name ? demuxerNamed(name) : nullptr;
}

ContainerSignature::ReadAt ContainerSignature::fileReader(const QByteArray& path)
{
    // Opened once for all reads; closed with the last copy of the reader.
    const std::shared_ptr<const int> fd(new int(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)),
                                        [](const int* file) {
                                            if (*file >= 0)
                                                ::close(*file);
                                            delete file;
                                        });
    return [fd](qint64 offset, int count) {
        QByteArray bytes(count, Qt::Uninitialized);
        const ssize_t got = *fd >= 0 ? ::pread(*fd, bytes.data(), std::size_t(count), offset) : -1;
        bytes.truncate(got > 0 ? qsizetype(got) : 0);
        return bytes;
    };
}

ContainerSignature::ReadAt ContainerSignature::memoryReader(QByteArrayView bytes)
{
    return [bytes](qint64 offset, int count) {
        if (offset >= bytes.size())
            return QByteArray();
        return bytes.sliced(offset, qMin<qsizetype>(count, bytes.size() - offset)).toByteArray();
    };
}

} // namespace vessa
