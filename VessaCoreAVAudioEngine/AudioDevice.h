#pragma once

namespace vessa {

class RenderCore;

// The stream layout a device is opened for: 32-bit float samples at the
// stream's own rate and channel count; the device converts to the hardware.
struct DeviceFormat {
    double sampleRate = 0.0;
    int channelCount = 0;
};

// A sound device in pull mode: once started it calls RenderCore::render on
// its own thread whenever it needs samples, until it is closed.
//
// Threads: every member is called from the main thread.
class AudioDevice {
public:
    virtual ~AudioDevice() = default;

    // Opens the device paused. Throws AVAudioEngineOutputError
    // (deviceStartFailed) with the device library's message.
    virtual void open(const DeviceFormat& format, RenderCore& core) = 0;
    // Lets the device pull samples; only after a successful open.
    virtual void start() = 0;
    // Stops pulling and releases the device; returns once no render call is
    // in progress. Does nothing when not open.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool isStarted() const = 0;
};

} // namespace vessa
