#include "RaskoCoreAudio/AudioFileInput.h"

#include "RaskoCoreAudio/CoreAudioDecoderError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

#include <cmath>

namespace vessa {

AudioFileInput::AudioFileInput(const SourceLocator& locator) : m_container(locator)
{
    m_container.findStreamInfo();
    const AVCodec* codec = nullptr;
    m_stream = m_container.bestAudioStream(&codec);
    m_streamIndex = m_stream->index;

    m_codec.reset(avcodec_alloc_context3(codec));
    if (!m_codec)
        m_container.fail(AVERROR(ENOMEM));
    int result = avcodec_parameters_to_context(m_codec.get(), m_stream->codecpar);
    if (result < 0)
        m_container.fail(result);
    m_codec->pkt_timebase = m_stream->time_base;
    m_codec->thread_count = 1;
    result = avcodec_open2(m_codec.get(), codec, nullptr);
    if (result < 0)
        m_container.fail(result);

    const int rate = m_codec->sample_rate;
    const int channels = m_codec->ch_layout.nb_channels;
    if (rate <= 0 || channels <= 0)
        m_container.fail(AVERROR_INVALIDDATA);
    m_audioFormat = AudioFormat(rate, channels, 4, false);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(m_codec->codec_id);
    m_lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS);
    readLength();
}

AudioFileInput::~AudioFileInput() = default;

void AudioFileInput::readLength()
{
    const int rate = static_cast<int>(m_audioFormat.sampleRate);
    const AVFormatContext* format = m_container.formatContext();
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

void AudioFileInput::countEstimatedLength(const SourceLocator& locator)
{
    if (m_container.formatContext()->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
        return;
    try {
        // Read the way the tag reader reads it: probed, then every packet.
        AudioContainer counting(locator);
        counting.findStreamInfo();
        const AVCodec* codec = nullptr;
        const AVStream* stream = counting.bestAudioStream(&codec);
        const std::optional<double> counted = counting.readAudioPackets(*stream, AudioContainer::Reach::endOfData);
        if (!counted)
            return;
        m_duration = *counted;
        m_lengthInFrames = std::llround(*counted * m_audioFormat.sampleRate);
    } catch (const CoreAudioDecoderError&) {
        // Not readable a second time: the estimate stays.
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
