#pragma once

#include "VessaCoreAVAudioEngine/AudioDevice.h"

#include <cstdint>
#include <memory>

namespace vessa {

// The SDL2 audio device. Nothing touches SDL before the first open, so a
// machine without sound can construct it freely.
class SdlAudioDevice final : public AudioDevice {
public:
    // Frames per device period.
    static constexpr int periodFrames = 1024;

    SdlAudioDevice();
    ~SdlAudioDevice() override;

    void open(const DeviceFormat& format, RenderCore& core) override;
    void start() override;
    void close() override;
    bool isOpen() const override;
    bool isStarted() const override { return m_started; }

private:
    class Subsystem;
    class Handle;

    std::unique_ptr<Subsystem> m_subsystem;
    std::unique_ptr<Handle> m_handle;
    bool m_started = false;
};

} // namespace vessa
