#pragma once

#include "VessaCore/AudioFormat.h"
#include "VessaCore/PCMBuffer.h"

#include <stop_token>

namespace vessa {

// An audio sink. Main-thread code calls prepare, play, pause, stop, seek and
// currentTime; the player's scheduling thread calls schedule and
// waitForQueueDrained. The two sides may overlap, so implementations are
// thread-safe. Failures are thrown as vessa::Error subclasses.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Accept buffers of this format from now on; not playing afterwards.
    virtual void prepare(const AudioFormat& format) = 0;
    // Blocks while the output is full (back-pressure). Returns promptly when
    // `stop` is requested (throwing CancellationError) or stop() is called.
    virtual void schedule(PCMBuffer buffer, std::stop_token stop) = 0;
    virtual void play() = 0;
    // Stops rendering; keeps the accepted buffers and the position.
    virtual void pause() = 0;
    // Stops rendering and discards the accepted buffers, waking any blocked
    // schedule or waitForQueueDrained.
    virtual void stop() = 0;
    // The buffers scheduled next start at this position.
    virtual void seek(double seconds) = 0;
    // Returns when every accepted buffer was rendered or discarded, or when
    // `stop` is requested. Outputs without a queue return at once.
    virtual void waitForQueueDrained(std::stop_token stop);
    // The playing position within the track, in seconds.
    virtual double currentTime() const = 0;
};

} // namespace vessa
