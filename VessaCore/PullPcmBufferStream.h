#pragma once

#include "VessaCore/PcmBufferStream.h"

namespace vessa {

// A stream over a pull function. `onEnd` runs exactly once: when the pull
// function returns nothing or throws, when a stop is requested, or when the
// stream is destroyed before any of that. A pull function that throws ends
// the stream; it should log its failure itself.
class PullPcmBufferStream final : public PcmBufferStream {
public:
    using Pull = std::function<std::optional<PCMBuffer>(std::stop_token)>;

    explicit PullPcmBufferStream(Pull pull, std::function<void()> onEnd = {});
    ~PullPcmBufferStream() override;

    PullPcmBufferStream(const PullPcmBufferStream&) = delete;
    PullPcmBufferStream& operator=(const PullPcmBufferStream&) = delete;

    std::optional<PCMBuffer> next(std::stop_token stop) override;

private:
    void finish();

    Pull m_pull;
    std::function<void()> m_onEnd;
    bool m_finished = false;
};

} // namespace vessa
