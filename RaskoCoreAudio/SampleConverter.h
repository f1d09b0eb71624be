#pragma once

#include "VessaCore/AudioFormat.h"

#include <memory>
#include <vector>

struct AVFrame;

namespace vessa {

// Converts decoded FFmpeg frames to a stream's fixed format: planar 32-bit
// float at the stream's rate and channel count, whatever sample format, rate
// or channel layout a frame arrives in (a change mid-stream included).
// Used by one thread at a time.
class SampleConverter {
public:
    explicit SampleConverter(AudioFormat output);
    ~SampleConverter();

    SampleConverter(const SampleConverter&) = delete;
    SampleConverter& operator=(const SampleConverter&) = delete;

    // Appends the frame's samples to `channels` (one vector per output
    // channel). False when the frame cannot be converted.
    bool convert(const AVFrame& frame, std::vector<std::vector<float>>& channels);
    // Appends what a resampler still holds back (at the end of the data).
    bool drain(std::vector<std::vector<float>>& channels);
    // Forgets held-back samples (after a seek).
    void reset();

private:
    struct State;
    bool configure(const AVFrame& frame);
    bool run(const unsigned char* const* input, int inputCount, std::vector<std::vector<float>>& channels);

    AudioFormat m_output;
    std::unique_ptr<State> m_state;
};

} // namespace vessa
