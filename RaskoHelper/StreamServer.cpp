#include "RaskoHelper/StreamServer.h"

#include "RaskoHelper/PcmRing.h"
#include "RaskoHelper/WorkerLimits.h"

#include <algorithm>

#include <unistd.h>

namespace vessa {

void sendOrExit(HelperChannel& channel, HelperMessageType type, QByteArray payload)
{
    if (channel.send(HelperMessage{type, std::move(payload)}) != HelperChannel::Status::ok)
        _exit(0);
}

static_assert(PcmRing::slotBytes >= batchBytes + maximumChunkBytes, "a batch must fit in a slot");

void serveStream(HelperChannel& channel, PcmRing& ring, int sampleRate,
                 const std::function<qsizetype(char* out, QString& error)>& renderChunk)
{
    const double startBudget = WorkerLimits::cpuSecondsUsed() + WorkerLimits::operationSeconds;
    double renderedSeconds = 0;
    bool ended = false;
    QString error;
    // Every reply wakes the program, and on a virtual machine a wake-up costs
    // as much as rendering a cheap chunk: chunks go out in batches. The first
    // batch holds one chunk, so playback starts as soon as it can.
    qsizetype batchTarget = 1;
    qint64 sequence = 0;
    HelperMessage request;
    qint32 count = 0;
    while (channel.receive(request) == HelperChannel::Status::ok && request.type == HelperMessageType::render
           && readHelperPayload(request.payload, count)) {
        for (qint32 i = 0; i < count; ++i) {
            const auto slot = static_cast<qint32>(sequence % PcmRing::slotCount);
            char* const out = ring.slot(slot);
            qsizetype filled = 0;
            while (!ended && filled < batchTarget) {
                const qsizetype size = renderChunk(out + filled, error);
                ended = size <= 0;
                filled += std::max<qsizetype>(size, 0) / 4 * 4;
            }
            if (filled == 0) {
                sendOrExit(channel, HelperMessageType::ended, helperPayload(error));
                continue;
            }
            renderedSeconds += double(filled / 4) / sampleRate;
            WorkerLimits::allowCpuSeconds(startBudget + renderedSeconds);
            sendOrExit(channel, HelperMessageType::pcm, helperPayload(slot, qint32(filled)));
            ++sequence;
            batchTarget = batchBytes;
        }
    }
}

} // namespace vessa
