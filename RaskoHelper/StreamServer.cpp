#include "RaskoHelper/StreamServer.h"

#include "RaskoHelper/WorkerLimits.h"

#include <unistd.h>

namespace vessa {

void sendOrExit(HelperChannel& channel, HelperMessageType type, QByteArray payload)
{
    if (channel.send(HelperMessage{type, std::move(payload)}) != HelperChannel::Status::ok)
        _exit(0);
}

void serveStream(HelperChannel& channel, int sampleRate,
                 const std::function<std::optional<QByteArray>(QString& error)>& renderChunk)
{
    const double startBudget = WorkerLimits::cpuSecondsUsed() + WorkerLimits::operationSeconds;
    double renderedSeconds = 0;
    bool ended = false;
    QString error;
    // Chunks go out in batches: every message wakes the program, and on a
    // virtual machine a wake-up costs as much as rendering a cheap chunk. The
    // first message holds one chunk, so playback starts as soon as it can.
    QByteArray batch;
    qsizetype batchTarget = 1;
    HelperMessage request;
    qint32 count = 0;
    while (channel.receive(request) == HelperChannel::Status::ok && request.type == HelperMessageType::render
           && readHelperPayload(request.payload, count)) {
        for (qint32 i = 0; i < count; ++i) {
            batch.resize(0); // keeps its capacity once the last message went out
            while (!ended && batch.size() < batchTarget) {
                if (std::optional<QByteArray> chunk = renderChunk(error))
                    batch.append(*chunk);
                else
                    ended = true;
            }
            if (batch.isEmpty()) {
                sendOrExit(channel, HelperMessageType::ended, helperPayload(error));
                continue;
            }
            renderedSeconds += double(batch.size() / 4) / sampleRate;
            WorkerLimits::allowCpuSeconds(startBudget + renderedSeconds);
            sendOrExit(channel, HelperMessageType::pcm, batch);
            batchTarget = batchBytes;
        }
    }
}

} // namespace vessa
