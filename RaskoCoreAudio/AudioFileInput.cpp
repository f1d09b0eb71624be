#include "RaskoCoreAudio/AudioFileInput.h"

#include "RaskoCoreAudio/CoreAudioDecoderError.h"
#include "RaskoCoreAudio/MemoryIOContext.h"
#include "VessaCore/PathExtension.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

namespace vessa {

namespace {

QString ffmpegMessage(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(error, text, sizeof text) < 0)
        return QStringLiteral("FFmpeg error %1").arg(error);
    return QString::fromUtf8(text);
}

} // namespace

QString AudioFileInput::displayName(const SourceLocator& locator)
{
    return locator.isData() ? QStringLiteral("in-memory data") : lastPathComponent(locator.path());
}

AudioFileInput::AudioFileInput(const SourceLocator& locator) : m_name(displayName(locator))
{
    AVFormatContext* format = avformat_alloc_context();
    if (!format)
        fail(AVERROR(ENOMEM));
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
        // The "file:" prefix keeps a colon in the path from naming a protocol.
        url = "file:" + locator.path().toUtf8();
    }
    // On failure avformat_open_input frees the context itself.
    int result = avformat_open_input(&format, url.constData(), nullptr, nullptr);
    if (result < 0)
        fail(result);
    m_format.reset(format);

    result = avformat_find_stream_info(format, nullptr);
    if (result < 0)
        fail(result);
    const AVCodec* codec = nullptr;
    result = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (result < 0)
        fail(result);
    m_streamIndex = result;
    m_stream = format->streams[m_streamIndex];
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != m_streamIndex)
            format->streams[i]->discard = AVDISCARD_ALL;
    }

    m_codec.reset(avcodec_alloc_context3(codec));
    if (!m_codec)
        fail(AVERROR(ENOMEM));
    result = avcodec_parameters_to_context(m_codec.get(), m_stream->codecpar);
    if (result < 0)
        fail(result);
    m_codec->pkt_timebase = m_stream->time_base;
    m_codec->thread_count = 1;
    result = avcodec_open2(m_codec.get(), codec, nullptr);
    if (result < 0)
        fail(result);

    const int rate = m_codec->sample_rate;
    const int channels = m_codec->ch_layout.nb_channels;
    if (rate <= 0 || channels <= 0)
        fail(AVERROR_INVALIDDATA);
    m_audioFormat = AudioFormat(rate, channels, 4, false);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(m_codec->codec_id);
    m_lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS);
    readLength();
}

AudioFileInput::~AudioFileInput() = default;

void AudioFileInput::fail(int ffmpegError) const
{
    throw CoreAudioDecoderError::openFailed(m_name, ffmpegMessage(ffmpegError));
}

void AudioFileInput::readLength()
{
    const int rate = static_cast<int>(m_audioFormat.sampleRate);
    const AVFormatContext* format = m_format.get();
    const bool estimated = format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    const AVRational base = m_stream->time_base;
    if (m_stream->duration != AV_NOPTS_VALUE && m_stream->duration >= 0 && base.num > 0 && base.den > 0) {
        m_duration = static_cast<double>(m_stream->duration) * base.num / base.den;
        if (!estimated)
            m_lengthInFrames = av_rescale_q(m_stream->duration, base, AVRational{1, rate});
    } else if (format->duration != AV_NOPTS_VALUE && format->duration >= 0) {
        m_duration = static_cast<double>(format->duration) / AV_TIME_BASE;
        if (!estimated)
            m_lengthInFrames = av_rescale(format->duration, rate, AV_TIME_BASE);
    }
}

qint64 AudioFileInput::framePosition(qint64 timestamp) const
{
    const qint64 start = m_stream->start_time != AV_NOPTS_VALUE ? m_stream->start_time : 0;
    const int rate = static_cast<int>(m_audioFormat.sampleRate);
    return av_rescale_q(timestamp - start, m_stream->time_base, AVRational{1, rate});
}

qint64 AudioFileInput::timestamp(qint64 framePosition) const
{
    const qint64 start = m_stream->start_time != AV_NOPTS_VALUE ? m_stream->start_time : 0;
    const int rate = static_cast<int>(m_audioFormat.sampleRate);
    return start + av_rescale_q(framePosition, AVRational{1, rate}, m_stream->time_base);
}

} // namespace vessa
