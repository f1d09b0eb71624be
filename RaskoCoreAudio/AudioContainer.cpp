#include "RaskoCoreAudio/AudioContainer.h"

#include "RaskoCoreAudio/ContainerSignature.h"
#include "RaskoCoreAudio/CoreAudioDecoderError.h"
#include "RaskoCoreAudio/MemoryIOContext.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/PathExtension.h"

#include <QCoreApplication>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace vessa {

namespace {

QString ffmpegMessage(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(error, text, sizeof text) < 0)
        return QCoreApplication::translate("CoreAudioDecoderError", "FFmpeg error %1").arg(error);
    return QString::fromUtf8(text);
}

} // namespace

QString AudioContainer::displayName(const SourceLocator& locator)
{
    return locator.isData() ? QStringLiteral("in-memory data") : lastPathComponent(locator.path());
}

AudioContainer::AudioContainer(const SourceLocator& locator) : m_name(displayName(locator))
{
    const QByteArray path = locator.isData() ? QByteArray() : pathToBytes(locator.path());
    const ContainerSignature::ReadAt head =
        locator.isData() ? ContainerSignature::memoryReader(locator.bytes()) : ContainerSignature::fileReader(path);
    // The format its signature names first; when that demuxer refuses the
    // data, FFmpeg probes every format as usual.
    int result = AVERROR_INVALIDDATA;
    if (const AVInputFormat* named = ContainerSignature::demuxer(head))
        result = open(locator, path, named);
    if (result < 0)
        result = open(locator, path, nullptr);
    if (result < 0)
        fail(result);
}

int AudioContainer::open(const SourceLocator& locator, const QByteArray& path, const AVInputFormat* demuxer)
{
    m_format.reset();
    m_memory.reset();
    AVFormatContext* format = avformat_alloc_context();
    if (!format)
        return AVERROR(ENOMEM);
    // Nested resources (playlist-like containers) may only come from files.
    format->protocol_whitelist = av_strdup("file");
    QByteArray url;
    if (locator.isData()) {
        try {
            m_memory = std::make_unique<MemoryIOContext>(locator.bytes());
        } catch (...) {
            avformat_free_context(format);
            throw;
        }
        format->pb = m_memory->context();
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
    } else {
        // The "file:" prefix keeps a colon in the path from naming a protocol;
        // the path's own bytes reach the file system, UTF-8 or not.
        url = "file:" + path;
    }
    // On failure avformat_open_input frees the context itself.
    const int result = avformat_open_input(&format, url.constData(), demuxer, nullptr);
    if (result >= 0)
        m_format.reset(format);
    return result;
}

AudioContainer::~AudioContainer() = default;

void AudioContainer::findStreamInfo()
{
    const int result = avformat_find_stream_info(m_format.get(), nullptr);
    if (result < 0)
        fail(result);
}

AVStream* AudioContainer::bestAudioStream(const AVCodec** codec)
{
    AVFormatContext* format = m_format.get();
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, codec, 0);
    if (index < 0)
        fail(index);
    readOnly(format->streams[index]);
    return format->streams[index];
}

void AudioContainer::readOnly(const AVStream* stream)
{
    AVFormatContext* format = m_format.get();
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i] != stream)
            format->streams[i]->discard = AVDISCARD_ALL;
    }
}

std::optional<double> AudioContainer::readAudioPackets(const AVStream& stream, Reach reach)
{
    AVFormatContext* format = m_format.get();
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        fail(AVERROR(ENOMEM));
    qint64 packets = 0;
    qint64 total = 0;
    bool everyDurationKnown = true;
    while (av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == stream.index && packet->size > 0) {
            ++packets;
            everyDurationKnown = everyDurationKnown && packet->duration > 0;
            total += packet->duration;
        }
        av_packet_unref(packet.get());
        if (packets > 0 && reach == Reach::firstAudioPacket)
            break;
    }
    if (packets == 0)
        fail(QCoreApplication::translate("CoreAudioDecoderError", "No audio data"));
    if (!everyDurationKnown)
        return std::nullopt;
    return static_cast<double>(total) * stream.time_base.num / stream.time_base.den;
}

void AudioContainer::fail(int ffmpegError) const
{
    fail(ffmpegMessage(ffmpegError));
}

void AudioContainer::fail(const QString& message) const
{
    throw CoreAudioDecoderError::openFailed(m_name, message);
}

} // namespace vessa
