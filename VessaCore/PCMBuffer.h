#pragma once

#include "VessaCore/AudioFormat.h"

#include <vector>

namespace vessa {

// One block of decoded samples: one vector of floats per channel (planar,
// whatever `format.interleaved` says). Consumers must not trust that every
// channel has the same length: missing samples count as silence and channels
// beyond `format.channelCount` are ignored.
struct PCMBuffer {
    AudioFormat format;
    std::vector<std::vector<float>> channelData;

    PCMBuffer() = default;
    PCMBuffer(AudioFormat format, std::vector<std::vector<float>> channelData)
        : format(format), channelData(std::move(channelData))
    {
    }

    // The length of the first channel; 0 without channels.
    qint64 frameCount() const;

    static PCMBuffer silence(AudioFormat format, qint64 frameCount);
};

} // namespace vessa
