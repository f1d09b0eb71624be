#pragma once

#include <QtGlobal>

#include <array>
#include <atomic>
#include <cstddef>

namespace vessa {

// Centre frequencies of the ten equaliser bands, in hertz.
inline constexpr std::array<float, 10> equalizerFrequencies{32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

// The equaliser's controls. Setters run on the main thread, the render thread
// reads them through atomics; `version` rises with every change. Gains are
// kept as given; the filters limit them when they use them.
class EqualizerSettings {
public:
    static constexpr int bandCount = static_cast<int>(equalizerFrequencies.size());

    EqualizerSettings();

    // Out-of-range bands are ignored.
    void setBandGain(int band, float gain);
    void setGlobalGain(float gain);
    void setBypassed(bool bypassed);

    float bandGain(int band) const;
    float globalGain() const { return m_globalGain.load(std::memory_order_relaxed); }
    bool bypassed() const { return m_bypassed.load(std::memory_order_relaxed); }
    quint64 version() const { return m_version.load(std::memory_order_acquire); }

private:
    void changed() { m_version.fetch_add(1, std::memory_order_release); }

    std::array<std::atomic<float>, bandCount> m_bandGains;
    std::atomic<float> m_globalGain{0.0f};
    std::atomic<bool> m_bypassed{false};
    std::atomic<quint64> m_version{0};
};

// The render thread's filter bank: per channel, the ten bands as peaking
// biquads (one octave wide) in transposed direct form II with double state,
// then the global gain. Bands at 0 dB and bands at or above 0.49 of the
// sample rate are left out, so the flat setting passes samples unchanged.
// Used by one thread at a time; never allocates.
class Equalizer {
public:
    static constexpr int maxChannels = 8;
    static constexpr double maxBandGainDb = 24.0;
    static constexpr double minGlobalGainDb = -96.0;
    static constexpr double maxGlobalGainDb = 24.0;

    // Sets the stream layout, clears the filters and forgets the settings.
    void configure(int channelCount, double sampleRate);
    // Takes over the settings if they changed since the last call.
    void update(const EqualizerSettings& settings);
    // Clears the filters' memory.
    void reset();
    // Filters `frames` interleaved frames of `channelCount` channels in place.
    void process(double* samples, std::size_t frames);

    int activeBandCount() const { return m_activeCount; }

private:
    struct Biquad {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };
    struct State {
        std::array<double, maxChannels> s1{};
        std::array<double, maxChannels> s2{};
    };

    template <int Channels>
    void processCascade(double* samples, std::size_t frames);
    void recompute();

    int m_channelCount = 0;
    double m_sampleRate = 0.0;
    quint64 m_seenVersion = ~quint64{0};
    std::array<float, EqualizerSettings::bandCount> m_gains{};
    float m_globalGainDb = 0.0f;
    bool m_bypassed = false;

    std::array<Biquad, EqualizerSettings::bandCount> m_filters{};
    std::array<State, EqualizerSettings::bandCount> m_states{};
    std::array<int, EqualizerSettings::bandCount> m_activeBands{};
    int m_activeCount = 0;
    unsigned m_activeMask = 0;
    double m_globalFactor = 1.0;
};

} // namespace vessa
