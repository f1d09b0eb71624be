#pragma once

#include "VessaCore/PcmBufferStream.h"

#include <exception>
#include <functional>
#include <thread>

namespace vessa {

class AudioOutput;

// One background thread that feeds a buffer stream into an output: it takes
// one buffer, waits in AudioOutput::schedule until the output accepted it,
// and only then takes the next, so the output paces the decoder. When the
// stream is finished, or failed (a decoder that died mid-track), it waits for
// the output to drain and calls `onEnd` with the stream's failure, null at a
// natural end; when the output refuses a buffer it calls `onError` and takes
// no further buffer.
// Both callbacks run on the task's thread, at most one of them, and never
// after a stop was requested. The stream is destroyed when the task ends.
//
// Threads: constructed, stopped and destroyed on one owning thread; the
// output must be safe to call from the task while the owner also uses it.
class SchedulingTask {
public:
    using EndCallback = std::function<void(std::exception_ptr streamFailure)>;
    using ErrorCallback = std::function<void(std::exception_ptr)>;

    // Throws ThreadStartError when the system refuses the thread; the stream
    // is then gone and neither callback runs.
    SchedulingTask(AudioOutput& output, PcmBufferStreamPtr stream, EndCallback onEnd, ErrorCallback onError);
    // Requests a stop and joins, without calling the output.
    ~SchedulingTask();

    SchedulingTask(const SchedulingTask&) = delete;
    SchedulingTask& operator=(const SchedulingTask&) = delete;

    // Requests a stop, calls output.stop() to wake a blocked schedule or drain
    // wait, then joins. Rethrows a failure of output.stop() after joining.
    void stop();

private:
    static void run(std::stop_token stop, AudioOutput& output, PcmBufferStreamPtr stream, const EndCallback& onEnd,
                    const ErrorCallback& onError);

    AudioOutput& m_output;
    std::jthread m_thread;
};

} // namespace vessa
