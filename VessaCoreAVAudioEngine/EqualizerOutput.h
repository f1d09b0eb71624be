#pragma once

namespace vessa {

// The equaliser controls of an audio output, as the application's equaliser
// model drives them. Kept apart from AVAudioEngineOutput so the model can be
// built and tested against any implementation; it lives here, beside the
// output that implements it, because the output cannot look up into the app.
//
// Threads: called from the main thread.
class EqualizerOutput {
public:
    virtual ~EqualizerOutput() = default;

    // Gain of one band in decibels; bands outside 0...9 are ignored.
    virtual void setEQBandGain(int band, float gain) = 0;
    virtual void setEQBypassed(bool bypassed) = 0;

protected:
    EqualizerOutput() = default;
    EqualizerOutput(const EqualizerOutput&) = default;
    EqualizerOutput& operator=(const EqualizerOutput&) = default;
};

} // namespace vessa
