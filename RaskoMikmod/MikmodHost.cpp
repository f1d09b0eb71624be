#include "RaskoMikmod/MikmodHost.h"

#include "RaskoHelper/StreamServer.h"
#include "RaskoMikmod/MikmodError.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/MikmodRenderer.h"

#include <cmath>

namespace vessa {

namespace {

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

bool serve(const HelperMessage& request, HelperChannel& channel, PcmRing* ring)
{
    QByteArray data;
    switch (request.type) {
    case HelperMessageType::mikmodExtract: {
        if (!readHelperPayload(request.payload, data))
            return false;
        const MikmodModule module = MikmodLibrary::load(data, MikmodLibrary::LoadPurpose::inspection);
        const std::optional<QString> songName = module.songName();
        const std::optional<QString> moduleType = module.moduleType();
        sendOrExit(channel, HelperMessageType::moduleInfo,
                   helperPayload(songName.has_value(), songName.value_or(QString()), moduleType.has_value(),
                                 moduleType.value_or(QString())));
        return true;
    }
    case HelperMessageType::mikmodOpen: {
        double seconds = 0;
        if (!readHelperPayload(request.payload, data, seconds) || !ring)
            return false;
        MikmodRenderer renderer(MikmodLibrary::load(data, MikmodLibrary::LoadPurpose::playback));
        const bool ended = !renderer.skip(framesFor(seconds));
        sendOrExit(channel, HelperMessageType::started);
        static_assert(MikmodRenderer::maximumBlockBytes <= maximumChunkBytes);
        serveStream(channel, *ring, MikmodRenderer::sampleRate,
                    [&renderer, ended](char* out, QString&) { return ended ? 0 : renderer.renderInto(out); });
        return true;
    }
    default: return false;
    }
}

} // namespace

bool serveMikmodRequest(const HelperMessage& request, HelperChannel& channel, PcmRing* ring)
{
    try {
        return serve(request, channel, ring);
    } catch (const MikmodError& error) {
        sendOrExit(channel, HelperMessageType::failed, helperPayload(qint32(error.kind()), error.message()));
        return true;
    }
}

} // namespace vessa
