#pragma once

#include "VessaCoreAVAudioEngine/AVAudioEngineOutputError.h"
#include "VessaCoreAVAudioEngine/AudioDevice.h"
#include "VessaCoreAVAudioEngine/RenderCore.h"

#include <cstddef>
#include <vector>

namespace vessa::test {

// An audio device without sound: the test pulls periods itself with
// renderPeriod(), acting as the device's render thread. While `failingOpens`
// is above 0, each open fails (and counts it down).
class FakeAudioDevice final : public vessa::AudioDevice {
public:
    void open(const vessa::DeviceFormat& format, vessa::RenderCore& core) override
    {
        close();
        if (failingOpens > 0) {
            --failingOpens;
            throw vessa::AVAudioEngineOutputError(vessa::AVAudioEngineOutputError::Kind::deviceStartFailed,
                                                  QStringLiteral("no sound card"));
        }
        openedFormats.push_back(format);
        m_core = &core;
    }
    void start() override { m_started = m_core != nullptr; }
    void close() override
    {
        m_core = nullptr;
        m_started = false;
    }
    bool isOpen() const override { return m_core != nullptr; }
    bool isStarted() const override { return m_started; }

    // One period of interleaved samples; empty while the device is not running.
    std::vector<float> renderPeriod(std::size_t frames)
    {
        if (!m_started)
            return {};
        std::vector<float> out(frames * static_cast<std::size_t>(m_core->channelCount()));
        m_core->render(out.data(), frames);
        return out;
    }

    int failingOpens = 0;
    std::vector<vessa::DeviceFormat> openedFormats; // one per successful open

private:
    vessa::RenderCore* m_core = nullptr;
    bool m_started = false;
};

} // namespace vessa::test
