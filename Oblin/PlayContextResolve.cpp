// PlayContext: turning a queue entry into a playing stream, and its tags.

#include "Oblin/OblinLogging.h"
#include "Oblin/PlayContext.h"
#include "VessaCore/Error.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/JoinedFields.h"

namespace vessa {

namespace {

// Passes a decoder's buffers on and notes whether any of them held audio,
// so that a track which ends without giving any can be told apart.
class AudioNotingStream final : public PcmBufferStream {
public:
    AudioNotingStream(PcmBufferStreamPtr stream, std::shared_ptr<std::atomic<bool>> gaveAudio)
        : m_stream(std::move(stream)), m_gaveAudio(std::move(gaveAudio))
    {
    }

    std::optional<PCMBuffer> next(std::stop_token stop) override
    {
        std::optional<PCMBuffer> buffer = m_stream ? m_stream->next(stop) : std::nullopt;
        if (buffer && buffer->frameCount() > 0)
            m_gaveAudio->store(true);
        return buffer;
    }

private:
    PcmBufferStreamPtr m_stream;
    std::shared_ptr<std::atomic<bool>> m_gaveAudio;
};

SeekHandler audioNotingSeekHandler(SeekHandler seek, std::shared_ptr<std::atomic<bool>> gaveAudio)
{
    if (!seek)
        return {};
    return [seek = std::move(seek), gaveAudio = std::move(gaveAudio)](double seconds,
                                                                      std::stop_token stop) -> PcmBufferStreamPtr {
        return std::make_unique<AudioNotingStream>(seek(seconds, std::move(stop)), gaveAudio);
    };
}

} // namespace

void PlayContext::resolveAndPlay(const TrackRef& track, Completion done)
{
    // The track is the current entry's.
    const std::optional<QString> hint = m_fileHints.isEmpty() ? std::nullopt : m_fileHints[*m_currentIndex];
    logDebug(lcOblinPlayback(), QStringLiteral("resolveAndPlay: ") + track.uri()
                                    + (hint ? QStringLiteral(" (hint: ") + *hint + u')' : QString()));
    if (m_resolveTask) {
        logDebug(lcOblinPlayback(), QStringLiteral("Cancelling previous resolve task"));
        m_trackLoader.cancel(m_resolveTask);
    }
    // The hooks run from the loader, a member: never after the context is gone.
    m_resolveTask = m_trackLoader.submit(
        TrackLoader::Request{track, hint, m_playlistURL}, [this] { return beginResolve(); },
        [this, track, done = std::move(done)](TrackLoader::Result result) {
            finishResolve(track, std::move(result), done);
        });
}

bool PlayContext::beginResolve()
{
    m_metadataLoader.cancel();
    setCurrentMetadata(std::nullopt);
    return m_repeatMode == RepeatMode::one;
}

void PlayContext::finishResolve(const TrackRef& track, TrackLoader::Result result, const Completion& done)
{
    if (isCancellation(result.error)) {
        logDebug(lcOblinPlayback(), QStringLiteral("resolveAndPlay cancelled (superseded): ") + track.uri());
        done(nullptr);
        return;
    }
    if (result.error) {
        failResolve(track, result.error, done);
        return;
    }
    AudioStream stream = std::move(*result.stream);
    auto gaveAudio = std::make_shared<std::atomic<bool>>(false);
    try {
        m_player.load(std::make_unique<AudioNotingStream>(std::move(stream.buffers), gaveAudio), stream.format,
                      stream.duration, audioNotingSeekHandler(std::move(stream.seek), gaveAudio));
        m_loadedStreamGaveAudio = gaveAudio;
        m_player.play();
    } catch (...) {
        failResolve(track, std::current_exception(), done);
        return;
    }
    setPlayingIndex(m_currentIndex);
    logInfo(lcOblinPlayback(), QStringLiteral("Now playing: ") + track.uri());
    loadMetadata(*result.locator, track);
    done(nullptr);
}

void PlayContext::failResolve(const TrackRef& track, std::exception_ptr error, const Completion& done)
{
    logError(lcOblinPlayback(), QStringLiteral("Track not found: ") + joinedFields({track.track(), track.artist()}));
    try {
        m_player.stop();
    } catch (...) {
        // The track failed already; a failing stop adds nothing to report.
    }
    setPlayingIndex(std::nullopt);
    done(error);
}

void PlayContext::loadMetadata(const SourceLocator& locator, const TrackRef& track)
{
    // The completion runs from the loader, a member: never after the context is gone.
    m_metadataLoader.load(
        locator, track.subTrackIndex(), [this, track](std::optional<TrackMetadata> metadata, std::exception_ptr error) {
            if (isCancellation(error))
                return;
            if (error) {
                logError(lcOblinPlayback(),
                         QStringLiteral("Metadata load failed for %1: %2").arg(track.uri(), describeException(error)));
                return;
            }
            setCurrentMetadata(std::move(metadata));
            logDebug(lcOblinPlayback(), QStringLiteral("Metadata loaded for: ") + track.uri());
        });
}

} // namespace vessa
