#include "VessaCore/PCMBuffer.h"

#include <algorithm>

namespace vessa {

qint64 PCMBuffer::frameCount() const
{
    return channelData.empty() ? 0 : static_cast<qint64>(channelData.front().size());
}

PCMBuffer PCMBuffer::silence(AudioFormat format, qint64 frameCount)
{
    const auto channels = static_cast<std::size_t>(std::max<qint64>(0, format.channelCount));
    const auto frames = static_cast<std::size_t>(std::max<qint64>(0, frameCount));
    return PCMBuffer(format, std::vector<std::vector<float>>(channels, std::vector<float>(frames, 0.0f)));
}

} // namespace vessa
