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
    HelperMessage request;
    qint32 count = 0;
    while (channel.receive(request) == HelperChannel::Status::ok && request.type == HelperMessageType::render
           && readHelperPayload(request.payload, count)) {
        for (qint32 i = 0; i < count; ++i) {
            std::optional<QByteArray> chunk = ended ? std::nullopt : renderChunk(error);
            if (!chunk) {
                ended = true;
                sendOrExit(channel, HelperMessageType::ended, helperPayload(error));
                continue;
            }
            renderedSeconds += double(chunk->size() / 4) / sampleRate;
            WorkerLimits::allowCpuSeconds(startBudget + renderedSeconds);
            sendOrExit(channel, HelperMessageType::pcm, std::move(*chunk));
        }
    }
}

} // namespace vessa
