#include "VessaCoreAVAudioEngine/Equalizer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vessa {

namespace {

constexpr double bandwidthOctaves = 1.0;
constexpr double highestBandFraction = 0.49;
// Filter memory this small is inaudible; clearing it keeps decaying tails
// from ever becoming denormal.
constexpr double negligibleState = 1e-18;

// NaN counts as 0 dB.
double limitedGain(float gainDb, double lowest, double highest)
{
    if (std::isnan(gainDb))
        return 0.0;
    return std::clamp(static_cast<double>(gainDb), lowest, highest);
}

void clearIfNegligible(double& value)
{
    if (!(std::abs(value) >= negligibleState) || !std::isfinite(value))
        value = 0.0;
}

} // namespace

EqualizerSettings::EqualizerSettings()
{
    for (auto& gain : m_bandGains)
        gain.store(0.0f, std::memory_order_relaxed);
}

void EqualizerSettings::setBandGain(int band, float gain)
{
    if (band < 0 || band >= bandCount)
        return;
    m_bandGains[static_cast<std::size_t>(band)].store(gain, std::memory_order_relaxed);
    changed();
}

void EqualizerSettings::setGlobalGain(float gain)
{
    m_globalGain.store(gain, std::memory_order_relaxed);
    changed();
}

void EqualizerSettings::setBypassed(bool bypassed)
{
    m_bypassed.store(bypassed, std::memory_order_relaxed);
    changed();
}

float EqualizerSettings::bandGain(int band) const
{
    if (band < 0 || band >= bandCount)
        return 0.0f;
    return m_bandGains[static_cast<std::size_t>(band)].load(std::memory_order_relaxed);
}

void Equalizer::configure(int channelCount, double sampleRate)
{
    m_channelCount = std::clamp(channelCount, 0, maxChannels);
    m_sampleRate = sampleRate;
    m_seenVersion = ~quint64{0};
    recompute();
    reset();
}

void Equalizer::update(const EqualizerSettings& settings)
{
    const quint64 version = settings.version();
    if (version == m_seenVersion)
        return;
    m_seenVersion = version;
    for (int band = 0; band < EqualizerSettings::bandCount; ++band)
        m_gains[static_cast<std::size_t>(band)] = settings.bandGain(band);
    m_globalGainDb = settings.globalGain();
    const bool bypassed = settings.bypassed();
    if (m_bypassed && !bypassed)
        reset(); // engaging again starts from silence instead of stale memory
    m_bypassed = bypassed;
    recompute();
}

void Equalizer::reset()
{
    m_states = {};
}

void Equalizer::recompute()
{
    const unsigned wasActive = m_activeMask;
    m_activeMask = 0;
    m_activeCount = 0;
    for (int band = 0; band < EqualizerSettings::bandCount; ++band) {
        const auto index = static_cast<std::size_t>(band);
        const double gainDb = limitedGain(m_gains[index], -maxBandGainDb, maxBandGainDb);
        const double frequency = equalizerFrequencies[index];
        if (gainDb == 0.0 || !(m_sampleRate > 0.0) || frequency >= highestBandFraction * m_sampleRate)
            continue;
        // Peaking filter with the bandwidth given in octaves.
        const double a = std::pow(10.0, gainDb / 40.0);
        const double w0 = 2.0 * std::numbers::pi * frequency / m_sampleRate;
        const double sinW0 = std::sin(w0);
        const double cosW0 = std::cos(w0);
        const double alpha = sinW0 * std::sinh(std::numbers::ln2 / 2.0 * bandwidthOctaves * w0 / sinW0);
        const double a0 = 1.0 + alpha / a;
        Biquad& filter = m_filters[index];
        filter.b0 = (1.0 + alpha * a) / a0;
        filter.b1 = -2.0 * cosW0 / a0;
        filter.b2 = (1.0 - alpha * a) / a0;
        filter.a1 = -2.0 * cosW0 / a0;
        filter.a2 = (1.0 - alpha / a) / a0;
        m_activeBands[static_cast<std::size_t>(m_activeCount++)] = band;
        m_activeMask |= 1u << band;
        if (!(wasActive & (1u << band)))
            m_states[index] = {}; // a band coming back starts from silence
    }
    const double globalDb = limitedGain(m_globalGainDb, minGlobalGainDb, maxGlobalGainDb);
    m_globalFactor = std::pow(10.0, globalDb / 20.0);
}

// Runs every sample through the whole cascade before the next one, so the
// recursions of all bands and channels overlap instead of waiting on each other.
template <int Channels>
void Equalizer::processCascade(double* samples, std::size_t frames)
{
    const auto count = static_cast<std::size_t>(m_activeCount);
    std::array<Biquad, EqualizerSettings::bandCount> filters;
    std::array<std::array<double, Channels>, EqualizerSettings::bandCount> s1;
    std::array<std::array<double, Channels>, EqualizerSettings::bandCount> s2;
    for (std::size_t k = 0; k < count; ++k) {
        const auto band = static_cast<std::size_t>(m_activeBands[k]);
        filters[k] = m_filters[band];
        for (int c = 0; c < Channels; ++c) {
            s1[k][c] = m_states[band].s1[c];
            s2[k][c] = m_states[band].s2[c];
        }
    }
    for (std::size_t n = 0; n < frames; ++n) {
        double* frame = samples + n * Channels;
        std::array<double, Channels> x;
        for (int c = 0; c < Channels; ++c)
            x[c] = frame[c];
        for (std::size_t k = 0; k < count; ++k) {
            const Biquad& f = filters[k];
            for (int c = 0; c < Channels; ++c) {
                const double y = f.b0 * x[c] + s1[k][c];
                s1[k][c] = f.b1 * x[c] - f.a1 * y + s2[k][c];
                s2[k][c] = f.b2 * x[c] - f.a2 * y;
                x[c] = y;
            }
        }
        for (int c = 0; c < Channels; ++c)
            frame[c] = x[c];
    }
    for (std::size_t k = 0; k < count; ++k) {
        State& state = m_states[static_cast<std::size_t>(m_activeBands[k])];
        for (int c = 0; c < Channels; ++c) {
            state.s1[c] = s1[k][c];
            state.s2[c] = s2[k][c];
            clearIfNegligible(state.s1[c]);
            clearIfNegligible(state.s2[c]);
        }
    }
}

void Equalizer::process(double* samples, std::size_t frames)
{
    if (m_bypassed)
        return;
    if (m_activeCount > 0) {
        switch (m_channelCount) {
        case 1: processCascade<1>(samples, frames); break;
        case 2: processCascade<2>(samples, frames); break;
        case 3: processCascade<3>(samples, frames); break;
        case 4: processCascade<4>(samples, frames); break;
        case 5: processCascade<5>(samples, frames); break;
        case 6: processCascade<6>(samples, frames); break;
        case 7: processCascade<7>(samples, frames); break;
        case 8: processCascade<8>(samples, frames); break;
        default: return;
        }
    }
    if (m_globalFactor != 1.0) {
        const std::size_t count = frames * static_cast<std::size_t>(m_channelCount);
        for (std::size_t i = 0; i < count; ++i)
            samples[i] *= m_globalFactor;
    }
}

} // namespace vessa
