#include "RaskoGME/GMEHost.h"

#include "RaskoGME/GMEEmu.h"
#include "RaskoGME/GMEWire.h"
#include "RaskoHelper/StreamServer.h"
#include "RaskoHelper/WorkerLimits.h"

#include <algorithm>
#include <vector>

namespace vessa {

namespace {

constexpr int framesPerChunk = 8192;
constexpr int fadeLeadMilliseconds = 8000;
constexpr int seekStepMilliseconds = 5000;

std::optional<QString> extensionFrom(bool present, const QString& extension)
{
    return present ? std::optional(extension) : std::nullopt;
}

// Starts the sub-track for playback. A finite track fades out over the last
// 8 s of its play length; one shorter than that fades from its start, since
// the library takes a negative fade start as "never fade" and would loop it
// forever. An endless one also lifts the library's own length limit (SPC).
void startPlayback(GMEEmu& emu, int index, int playLength, bool infiniteLoop)
{
    if (infiniteLoop)
        emu.setAutoloadPlaybackLimit(false);
    emu.startTrack(index);
    if (GMEEmu::fadesOut(playLength, infiniteLoop))
        emu.setFade(std::max(0, playLength - fadeLeadMilliseconds));
}

// Renders the started track chunk by chunk on request.
void renderOnRequest(HelperChannel& channel, PcmRing& ring, GMEEmu& emu)
{
    static_assert(framesPerChunk * 4 <= maximumChunkBytes);
    serveStream(channel, ring, GMEEmu::playbackSampleRate, [&](char* out, QString& error) -> qsizetype {
        if (emu.trackEnded())
            return 0;
        try {
            // The ring's slots start on a page and batches hold whole frames.
            emu.play(std::span(reinterpret_cast<std::int16_t*>(out), std::size_t(framesPerChunk) * 2));
        } catch (const GMEError& failure) {
            error = failure.message();
            return 0;
        }
        return framesPerChunk * 4;
    });
}

bool serve(const HelperMessage& request, HelperChannel& channel, PcmRing* ring)
{
    QByteArray data;
    bool hasExtension = false;
    QString extension;
    switch (request.type) {
    case HelperMessageType::gmeScan: {
        if (!readHelperPayload(request.payload, data, extension))
            return false;
        const GMEEmu emu = GMEEmu::open(data, extension, GMEEmu::infoOnlySampleRate);
        const int count = std::max(emu.trackCount(), 0);
        QByteArray payload;
        QDataStream out(&payload, QIODevice::WriteOnly);
        out << qint32(count);
        for (int index = 0; index < count; ++index)
            out << emu.trackInfo(index);
        sendOrExit(channel, HelperMessageType::trackInfos, payload);
        return true;
    }
    case HelperMessageType::gmeExtract: {
        qint32 index = 0;
        if (!readHelperPayload(request.payload, data, hasExtension, extension, index))
            return false;
        const GMEEmu emu = GMEEmu::open(data, extensionFrom(hasExtension, extension), GMEEmu::infoOnlySampleRate);
        sendOrExit(channel, HelperMessageType::trackInfo, helperPayload(emu.trackInfo(index)));
        return true;
    }
    case HelperMessageType::gmeOpen: {
        qint64 requestedIndex = 0;
        bool infiniteLoop = false, seeking = false;
        double seconds = 0;
        if (!readHelperPayload(request.payload, data, hasExtension, extension, requestedIndex, infiniteLoop, seeking,
                               seconds)
            || !ring)
            return false;
        GMEEmu emu = GMEEmu::open(data, extensionFrom(hasExtension, extension), GMEEmu::playbackSampleRate);
        const int count = emu.trackCount();
        if (requestedIndex < 0 || requestedIndex >= count)
            throw GMEError::trackOutOfRange(requestedIndex, count);
        const int index = static_cast<int>(requestedIndex);
        const std::optional<GMETrackInfo> info = emu.trackInfo(index);
        const int playLength = info ? info->playLength : -1;
        startPlayback(emu, index, playLength, infiniteLoop);
        if (seeking) {
            int milliseconds = GMEEmu::millisecondsFor(seconds);
            // Past the end of the fade there is nothing left to hear; going no
            // further than that keeps a wild position from emulating for ages.
            if (GMEEmu::fadesOut(playLength, infiniteLoop))
                milliseconds = std::min(milliseconds, std::max(playLength, fadeLeadMilliseconds));
            // In steps, each with the CPU time its audio allows.
            const double startCpu = WorkerLimits::cpuSecondsUsed();
            for (int reached = 0; reached < milliseconds;) {
                reached = milliseconds - reached > seekStepMilliseconds ? reached + seekStepMilliseconds : milliseconds;
                WorkerLimits::allowRealTime(startCpu, reached / 1000.0);
                emu.seek(reached);
            }
        }
        sendOrExit(channel, HelperMessageType::started, helperPayload(qint32(playLength)));
        renderOnRequest(channel, *ring, emu);
        return true;
    }
    default: return false;
    }
}

} // namespace

bool serveGMERequest(const HelperMessage& request, HelperChannel& channel, PcmRing* ring)
{
    try {
        return serve(request, channel, ring);
    } catch (const GMEError& error) {
        sendOrExit(channel, HelperMessageType::failed, gmeErrorPayload(error));
        return true;
    }
}

} // namespace vessa
