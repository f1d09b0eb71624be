#pragma once

#include "VessaCoreAVAudioEngine/AVAudioEngineOutputError.h"
#include "VessaCoreAVAudioEngine/AudioDevice.h"
#include "VessaCoreAVAudioEngine/RenderCore.h"

#include <QString>

#include <cstddef>
#include <vector>

namespace vessa::test {

// An audio device without sound: the test pulls periods itself with
// renderPeriod(), acting as the device's render thread. Keep a raw pointer
// before handing it to the output.
class FakeAudioDevice final : public vessa::AudioDevice {
public:
    void open(const vessa::DeviceFormat& format, vessa::RenderCore& core) override
    {
        close();
        if (failingOpens > 0) {
            --failingOpens;
            throw vessa::AVAudioEngineOutputError(vessa::AVAudioEngineOutputError::Kind::deviceStartFailed,
                                                  failureMessage);
        }
        ++openCount;
        openedFormats.push_back(format);
        m_core = &core;
    }

    void start() override
    {
        if (m_core) {
            ++startCount;
            m_started = true;
        }
    }

    void close() override
    {
        if (!m_core)
            return;
        ++closeCount;
        m_core = nullptr;
        m_started = false;
    }

    bool isOpen() const override { return m_core != nullptr; }
    bool isStarted() const override { return m_started; }

    // One period of interleaved samples, as the device would pull it. Empty
    // when the device is not running.
    std::vector<float> renderPeriod(std::size_t frames)
    {
        if (!m_core || !m_started)
            return {};
        std::vector<float> out(frames * static_cast<std::size_t>(m_core->channelCount()));
        m_core->render(out.data(), frames);
        return out;
    }

    int failingOpens = 0;
    QString failureMessage = QStringLiteral("no sound card");
    int openCount = 0;
    int closeCount = 0;
    int startCount = 0;
    std::vector<vessa::DeviceFormat> openedFormats;

private:
    vessa::RenderCore* m_core = nullptr;
    bool m_started = false;
};

} // namespace vessa::test
