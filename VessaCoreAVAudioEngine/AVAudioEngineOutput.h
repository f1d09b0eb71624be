#pragma once

#include "VessaCore/AudioOutput.h"
#include "VessaCoreAVAudioEngine/AudioDevice.h"
#include "VessaCoreAVAudioEngine/BufferScheduler.h"
#include "VessaCoreAVAudioEngine/Equalizer.h"
#include "VessaCoreAVAudioEngine/EqualizerOutput.h"
#include "VessaCoreAVAudioEngine/RenderCore.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vessa {

// The audio output: accepted buffers go through a queue of at most eight
// into the render core (ten-band equaliser, volume), which the sound device
// pulls from. The device is opened by the first prepare or play, so
// constructing the output never touches the sound system.
//
// Threads: prepare, play, pause, stop, seek and the volume, fade and
// equaliser controls run on the main thread (serialised by m_controlMutex);
// schedule and waitForQueueDrained run on the player's scheduling thread;
// currentTime may be read from any thread. Consumed buffers are released on
// the output's own release thread, started by the first prepare (which
// throws ThreadStartError, changing nothing, when the system refuses it).
class AVAudioEngineOutput final : public AudioOutput, public EqualizerOutput {
public:
    static constexpr std::array<float, 10> eqFrequencies = equalizerFrequencies;
    // Number of volume steps of a fade.
    static constexpr int fadeSteps = 15;

    using Sleeper = std::function<void(double seconds)>;

    // Plays through SDL2.
    AVAudioEngineOutput();
    // Plays through `device`; `sleeper` pauses the calling thread during a fade.
    explicit AVAudioEngineOutput(std::unique_ptr<AudioDevice> device, Sleeper sleeper = {});
    ~AVAudioEngineOutput() override;

    void prepare(const AudioFormat& format) override;
    void schedule(PCMBuffer buffer, std::stop_token stop) override;
    void play() override;
    void pause() override;
    void stop() override;
    void seek(double seconds) override;
    void waitForQueueDrained(std::stop_token stop) override;
    double currentTime() const override;

    // Volume from 0 to 1 (NaN counts as 1).
    void setVolumeLinear(float volume);
    // The same with a cubic curve, closer to how loudness is heard.
    void setVolumePerceived(float volume);
    float volume() const;
    // Lowers the volume to 0 in 15 steps over `duration` seconds, blocking the
    // calling thread. Keeps playing; does not restore the volume.
    void fadeOutSync(double duration);

    // Gain of one band in decibels; bands outside 0...9 are ignored.
    void setEQBandGain(int band, float gain) override;
    void setEQGlobalGain(float gain);
    void setEQBypassed(bool bypassed) override;

private:
    struct EngineFormat {
        double sampleRate = 0.0;
        int channelCount = 0;
        bool interleaved = false;
        friend bool operator==(const EngineFormat&, const EngineFormat&) = default;
    };

    static EngineFormat engineFormat(const AudioFormat& format);
    void startDeviceLocked();
    void releaseLoop(std::stop_token stop);

    std::unique_ptr<AudioDevice> m_device;
    Sleeper m_sleeper;
    RenderCore m_core;
    BufferScheduler m_scheduler;

    std::mutex m_controlMutex;
    std::optional<EngineFormat> m_format; // guarded by m_controlMutex

    // Read without the lock by schedule and currentTime.
    std::atomic<int> m_preparedChannels{0}; // 0 until the first prepare
    std::atomic<double> m_preparedSampleRate{0.0};
    std::atomic<qint64> m_startingFramePosition{0};

    std::jthread m_releaseThread; // started under m_controlMutex; last, so it stops before the rest goes
};

} // namespace vessa
