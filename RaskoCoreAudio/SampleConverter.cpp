#include "RaskoCoreAudio/SampleConverter.h"

#include "RaskoCoreAudio/FFmpegHandles.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace vessa {

namespace {

// A layout without channel order is read as the usual one for its count, so
// that two of the same count compare equal and need no remixing.
AVChannelLayout normalizedLayout(const AVChannelLayout& layout)
{
    AVChannelLayout result{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&layout) == 0)
        av_channel_layout_default(&result, layout.nb_channels);
    else
        av_channel_layout_copy(&result, &layout);
    return result;
}

} // namespace

struct SampleConverter::State {
    SwrContextPtr swr;
    int inputFormat = AV_SAMPLE_FMT_NONE;
    int inputRate = 0;
    AVChannelLayout inputLayout{};
    AVChannelLayout outputLayout{};
    bool outputLayoutSet = false;
    std::vector<uint8_t*> planes;

    ~State()
    {
        av_channel_layout_uninit(&inputLayout);
        av_channel_layout_uninit(&outputLayout);
    }
};

SampleConverter::SampleConverter(AudioFormat output) : m_output(output), m_state(std::make_unique<State>())
{
}

SampleConverter::~SampleConverter() = default;

bool SampleConverter::configure(const AVFrame& frame)
{
    State& state = *m_state;
    if (frame.ch_layout.nb_channels <= 0 || frame.sample_rate <= 0 || frame.format < 0)
        return false;
    AVChannelLayout input = normalizedLayout(frame.ch_layout);
    if (state.swr && frame.format == state.inputFormat && frame.sample_rate == state.inputRate
        && av_channel_layout_compare(&input, &state.inputLayout) == 0) {
        av_channel_layout_uninit(&input);
        return true;
    }
    if (!state.outputLayoutSet) {
        // The file's own layout when it has the stream's channel count.
        if (input.nb_channels == m_output.channelCount)
            av_channel_layout_copy(&state.outputLayout, &input);
        else
            av_channel_layout_default(&state.outputLayout, static_cast<int>(m_output.channelCount));
        state.outputLayoutSet = true;
    }
    SwrContext* swr = nullptr;
    int result =
        swr_alloc_set_opts2(&swr, &state.outputLayout, AV_SAMPLE_FMT_FLTP, static_cast<int>(m_output.sampleRate),
                            &input, static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    SwrContextPtr context(swr);
    if (result >= 0)
        result = swr_init(swr);
    if (result < 0) {
        av_channel_layout_uninit(&input);
        return false;
    }
    state.swr = std::move(context);
    state.inputFormat = frame.format;
    state.inputRate = frame.sample_rate;
    av_channel_layout_uninit(&state.inputLayout);
    state.inputLayout = input;
    return true;
}

bool SampleConverter::convert(const AVFrame& frame, std::vector<std::vector<float>>& channels)
{
    if (frame.nb_samples <= 0)
        return true;
    if (m_state->swr && (frame.format != m_state->inputFormat || frame.sample_rate != m_state->inputRate)) {
        // A format change: keep what the old resampler held back.
        if (!drain(channels))
            return false;
    }
    if (!configure(frame))
        return false;
    return run(frame.extended_data, frame.nb_samples, channels);
}

bool SampleConverter::drain(std::vector<std::vector<float>>& channels)
{
    if (!m_state->swr)
        return true;
    return run(nullptr, 0, channels);
}

void SampleConverter::reset()
{
    m_state->swr.reset();
}

bool SampleConverter::run(const unsigned char* const* input, int inputCount, std::vector<std::vector<float>>& channels)
{
    SwrContext* swr = m_state->swr.get();
    const int capacity = swr_get_out_samples(swr, inputCount);
    if (capacity < 0)
        return false;
    if (capacity == 0)
        return true;
    const std::size_t channelCount = channels.size();
    std::vector<uint8_t*>& planes = m_state->planes;
    planes.resize(channelCount);
    const std::size_t start = channelCount ? channels[0].size() : 0;
    for (std::size_t c = 0; c < channelCount; ++c) {
        channels[c].resize(start + static_cast<std::size_t>(capacity));
        planes[c] = reinterpret_cast<uint8_t*>(channels[c].data() + start);
    }
    const int converted = swr_convert(swr, planes.data(), capacity, const_cast<const uint8_t**>(input), inputCount);
    for (auto& channel : channels)
        channel.resize(start + static_cast<std::size_t>(std::max(converted, 0)));
    return converted >= 0;
}

} // namespace vessa
