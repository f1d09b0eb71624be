#include "RaskoMikmod/MikmodHost.h"

#include "RaskoHelper/WorkerLimits.h"
#include "RaskoMikmod/MikmodError.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/MikmodRenderer.h"

#include <cmath>

#include <unistd.h>

namespace vessa {

namespace {

void send(HelperChannel& channel, HelperMessageType type, QByteArray payload = {})
{
    if (channel.send(HelperMessage{type, std::move(payload)}) != HelperChannel::Status::ok)
        _exit(0); // the program went away
}

// Frames from the start to a position in seconds; a position that is not a
// number or negative is the start, one past the renderer's limit its end.
qint64 framesFor(double seconds)
{
    constexpr double last = double(MikmodRenderer::maximumSeconds) * MikmodRenderer::sampleRate;
    const double frames = std::round(seconds * MikmodRenderer::sampleRate);
    if (!(frames > 0))
        return 0;
    return static_cast<qint64>(std::min(frames, last));
}

// Answers render requests until the program closes the stream, raising the
// CPU budget by the length of every block, so that a stream that renders
// slower than real time runs out of it.
void renderOnRequest(HelperChannel& channel, MikmodRenderer& renderer, bool ended)
{
    const double startBudget = WorkerLimits::cpuSecondsUsed() + WorkerLimits::operationSeconds;
    double renderedSeconds = 0;
    HelperMessage request;
    while (channel.receive(request) == HelperChannel::Status::ok && request.type == HelperMessageType::render) {
        std::optional<QByteArray> block = ended ? std::nullopt : renderer.renderNext();
        if (!block) {
            ended = true;
            send(channel, HelperMessageType::ended, helperPayload(QString()));
            continue;
        }
        renderedSeconds += double(block->size() / MikmodRenderer::bytesPerFrame) / MikmodRenderer::sampleRate;
        WorkerLimits::allowCpuSeconds(startBudget + renderedSeconds);
        send(channel, HelperMessageType::pcm, *block);
    }
}

void serve(const HelperMessage& request, HelperChannel& channel)
{
    QByteArray data;
    switch (request.type) {
    case HelperMessageType::mikmodExtract: {
        if (!readHelperPayload(request.payload, data))
            _exit(2); // not a request of this program: the helper reports the worker crashed
        const MikmodModule module = MikmodLibrary::load(data, MikmodLibrary::LoadPurpose::inspection);
        const std::optional<QString> songName = module.songName();
        const std::optional<QString> moduleType = module.moduleType();
        send(channel, HelperMessageType::moduleInfo,
             helperPayload(songName.has_value(), songName.value_or(QString()), moduleType.has_value(),
                           moduleType.value_or(QString())));
        return;
    }
    case HelperMessageType::mikmodOpen: {
        double seconds = 0;
        if (!readHelperPayload(request.payload, data, seconds))
            _exit(2);
        MikmodRenderer renderer(MikmodLibrary::load(data, MikmodLibrary::LoadPurpose::playback));
        const bool ended = !renderer.skip(framesFor(seconds));
        send(channel, HelperMessageType::started);
        renderOnRequest(channel, renderer, ended);
        return;
    }
    default: return;
    }
}

} // namespace

void serveMikmodRequest(const HelperMessage& request, HelperChannel& channel)
{
    try {
        serve(request, channel);
    } catch (const MikmodError& error) {
        send(channel, HelperMessageType::failed, helperPayload(qint32(error.kind()), error.message()));
    }
}

} // namespace vessa
