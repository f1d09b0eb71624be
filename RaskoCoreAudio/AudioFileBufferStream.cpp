#include "RaskoCoreAudio/AudioFileBufferStream.h"

#include "RaskoCoreAudio/AudioFileInput.h"
#include "RaskoCoreAudio/SampleConverter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <exception>

namespace vessa {

namespace {

// Lossy decoders need a few frames before the target to rebuild their state
// (overlapping transforms, the MP3 bit reservoir).
qint64 runInFrames(const AudioFileInput& input)
{
    if (input.isLossless())
        return 0;
    return std::max<qint64>(4096, static_cast<qint64>(input.format().sampleRate) / 10);
}

} // namespace

AudioFileBufferStream::AudioFileBufferStream(std::shared_ptr<const Source> source, qint64 startFrame,
                                             std::unique_ptr<AudioFileInput> input)
    : m_source(std::move(source)), m_startFrame(startFrame), m_input(std::move(input))
{
}

AudioFileBufferStream::~AudioFileBufferStream() = default;

std::optional<PCMBuffer> AudioFileBufferStream::next(std::stop_token stop)
{
    if (m_phase == Phase::finished)
        return std::nullopt;
    if (m_phase == Phase::notStarted) {
        m_phase = Phase::decoding;
        if (stop.stop_requested() || !start()) {
            finish();
            return std::nullopt;
        }
    }
    qint64 wanted = m_source->framesPerChunk;
    if (m_source->lengthInFrames)
        wanted = std::min(wanted, *m_source->lengthInFrames - m_position);
    while (pendingFrames() < wanted && !m_decoderDone && !stop.stop_requested())
        decodeMore();
    const qint64 count = std::min(wanted, pendingFrames());
    if (stop.stop_requested() || count <= 0) {
        finish();
        return std::nullopt;
    }
    std::vector<std::vector<float>> channels;
    channels.reserve(m_pending.size());
    for (const auto& pending : m_pending)
        channels.emplace_back(pending.begin(), pending.begin() + count);
    dropPending(count);
    return PCMBuffer(m_source->format, std::move(channels));
}

bool AudioFileBufferStream::start()
{
    if (!m_input && !openInput())
        return false;
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_packet || !m_frame)
        return false;
    m_converter = std::make_unique<SampleConverter>(m_source->format);
    m_pending.assign(static_cast<std::size_t>(m_source->format.channelCount), {});
    if (m_startFrame <= 0)
        return true;
    if (m_source->lengthInFrames && m_startFrame >= *m_source->lengthInFrames)
        return false;
    return positionAt(m_startFrame);
}

bool AudioFileBufferStream::openInput()
{
    try {
        m_input = std::make_unique<AudioFileInput>(m_source->locator);
    } catch (const std::exception&) {
        // The file went away or changed since the track was opened: an empty stream.
        m_input.reset();
        return false;
    }
    m_inputTouched = false;
    return true;
}

// Seeks to a little before the target, decodes, and drops what lies before it.
// When the demuxer lands after the target it tries again further back; from
// the very start it simply reads the file again.
bool AudioFileBufferStream::positionAt(qint64 target)
{
    qint64 runIn = runInFrames(*m_input);
    for (;;) {
        const qint64 from = std::max<qint64>(0, target - runIn);
        if (from == 0) {
            if (m_inputTouched && !openInput())
                return false;
            restartDecodingAt(0, PositionSource::known);
            break;
        }
        if (!seekInput(from)) {
            runIn = target;
            continue;
        }
        while (pendingFrames() == 0 && decodeMore()) {
        }
        if (pendingFrames() == 0 || m_position <= target)
            break;
        runIn = runIn * 4 + (m_position - target);
    }
    while (m_position < target) {
        if (pendingFrames() == 0 && !decodeMore() && pendingFrames() == 0)
            return true; // the data ends before the target: an empty stream
        dropPending(std::min(target - m_position, pendingFrames()));
    }
    return true;
}

bool AudioFileBufferStream::seekInput(qint64 frame)
{
    m_inputTouched = true;
    const qint64 timestamp = m_input->timestamp(frame);
    if (avformat_seek_file(m_input->formatContext(), m_input->streamIndex(), INT64_MIN, timestamp, timestamp, 0) < 0)
        return false;
    avcodec_flush_buffers(m_input->codecContext());
    restartDecodingAt(frame, PositionSource::nextTimestamp);
    return true;
}

void AudioFileBufferStream::restartDecodingAt(qint64 frame, PositionSource source)
{
    m_converter->reset();
    for (auto& pending : m_pending)
        pending.clear();
    m_position = frame;
    m_positionSource = source;
    m_inputEnded = false;
    m_decoderDone = false;
}

// Decodes the next frame into m_pending. False once nothing more will come
// (end of data, read or decode error).
bool AudioFileBufferStream::decodeMore()
{
    if (m_decoderDone)
        return false;
    AVCodecContext* codec = m_input->codecContext();
    for (;;) {
        int result = avcodec_receive_frame(codec, m_frame.get());
        if (result == 0) {
            if (m_positionSource == PositionSource::nextTimestamp && pendingFrames() == 0
                && m_frame->best_effort_timestamp != AV_NOPTS_VALUE)
                m_position = m_input->framePosition(m_frame->best_effort_timestamp);
            m_positionSource = PositionSource::known;
            const bool converted = m_converter->convert(*m_frame, m_pending);
            av_frame_unref(m_frame.get());
            if (!converted)
                m_decoderDone = true;
            return converted;
        }
        if (result != AVERROR(EAGAIN) || m_inputEnded) {
            if (result == AVERROR_EOF)
                m_converter->drain(m_pending);
            m_decoderDone = true;
            return false;
        }
        m_inputTouched = true;
        result = av_read_frame(m_input->formatContext(), m_packet.get());
        if (result < 0) {
            // End of the data or a read error: let the decoder hand out what it holds.
            m_inputEnded = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        if (m_packet->stream_index != m_input->streamIndex()) {
            av_packet_unref(m_packet.get());
            continue;
        }
        result = avcodec_send_packet(codec, m_packet.get());
        av_packet_unref(m_packet.get());
        if (result < 0 && result != AVERROR(EAGAIN)) {
            m_decoderDone = true;
            return false;
        }
    }
}

qint64 AudioFileBufferStream::pendingFrames() const
{
    return m_pending.empty() ? 0 : static_cast<qint64>(m_pending.front().size());
}

void AudioFileBufferStream::dropPending(qint64 count)
{
    for (auto& pending : m_pending)
        pending.erase(pending.begin(), pending.begin() + count);
    m_position += count;
}

void AudioFileBufferStream::finish()
{
    m_phase = Phase::finished;
    m_pending.clear();
    m_converter.reset();
    m_frame.reset();
    m_packet.reset();
    m_input.reset();
}

} // namespace vessa
