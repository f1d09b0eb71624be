#include "VessaCore/SchedulingTask.h"

#include "VessaCore/AudioOutput.h"
#include "VessaCore/ThreadStart.h"

namespace vessa {

SchedulingTask::SchedulingTask(AudioOutput& output, PcmBufferStreamPtr stream, EndCallback onEnd, ErrorCallback onError)
    : m_output(output)
{
    m_thread = startThread([&output](std::stop_token stop, PcmBufferStreamPtr stream, EndCallback onEnd,
                                     ErrorCallback onError) { run(stop, output, std::move(stream), onEnd, onError); },
                           std::move(stream), std::move(onEnd), std::move(onError));
}

SchedulingTask::~SchedulingTask()
{
    m_thread.request_stop();
}

void SchedulingTask::stop()
{
    m_thread.request_stop();
    std::exception_ptr failure;
    try {
        m_output.stop();
    } catch (...) {
        failure = std::current_exception();
    }
    // The stop request alone also wakes the output and the stream, so the
    // join cannot hang when output.stop() failed.
    if (m_thread.joinable())
        m_thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

void SchedulingTask::run(std::stop_token stop, AudioOutput& output, PcmBufferStreamPtr stream, const EndCallback& onEnd,
                         const ErrorCallback& onError)
{
    std::exception_ptr streamFailure;
    while (stream) {
        if (stop.stop_requested())
            return;
        std::optional<PCMBuffer> buffer;
        try {
            buffer = stream->next(stop);
        } catch (...) {
            // What was decoded before the failure still plays out.
            streamFailure = std::current_exception();
        }
        if (!buffer)
            break;
        if (stop.stop_requested())
            return;
        try {
            output.schedule(std::move(*buffer), stop);
        } catch (...) {
            if (!stop.stop_requested())
                onError(std::current_exception());
            return;
        }
    }
    if (stop.stop_requested())
        return;
    output.waitForQueueDrained(stop);
    if (stop.stop_requested())
        return;
    onEnd(streamFailure);
}

} // namespace vessa
