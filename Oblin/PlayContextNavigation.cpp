// PlayContext: commands and moving through the queue.

#include "Oblin/OblinLogging.h"
#include "Oblin/PlayContext.h"
#include "VessaCore/Clock.h"
#include "VessaCore/PlayerError.h"

#include <QPointer>

namespace vessa {

namespace {

// Past this many seconds into a track, previous starts it again instead of
// going back an entry.
constexpr double restartThreshold = 3.0;

QString indexLine(const char* format, qsizetype index)
{
    return QString::asprintf(format, static_cast<long long>(index));
}

// A seek that a newer one superseded is no failure of the command.
Player::SeekCompletion seekCompletion(const PlayContext::Completion& done)
{
    return [done](std::exception_ptr error) { done(isCancellation(error) ? nullptr : error); };
}

bool isSeekNotSupported(const std::exception_ptr& error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const PlayerError& playerError) {
        return playerError.kind() == PlayerError::Kind::seekNotSupported;
    } catch (...) {
    }
    return false;
}

// Runs a quick player call and reports how it went.
void report(const PlayContext::Completion& done, const std::function<void()>& call)
{
    try {
        call();
    } catch (...) {
        done(std::current_exception());
        return;
    }
    done(nullptr);
}

} // namespace

void PlayContext::execute(const PlaybackCommand& command, Completion completion)
{
    logDebug(lcOblinPlayback(), QStringLiteral("execute: ") + command.description());
    setLastError(nullptr);
    m_silentTrackEnds = 0;
    const Completion done = [guard = QPointer<PlayContext>(this),
                             completion = std::move(completion)](std::exception_ptr error) {
        if (error && guard)
            guard->setLastError(error);
        if (completion)
            completion(error);
    };
    switch (command.kind()) {
    case PlaybackCommand::Kind::seek: m_player.seek(command.seconds(), seekCompletion(done)); return;
    case PlaybackCommand::Kind::play: play(done); return;
    case PlaybackCommand::Kind::pause: report(done, [this] { m_player.pause(); }); return;
    case PlaybackCommand::Kind::next: next(done); return;
    case PlaybackCommand::Kind::previous: previous(done); return;
    }
}

void PlayContext::play(const Completion& done)
{
    const std::optional<TrackRef> track = currentTrack();
    const bool started = m_player.transportState().kind() != TransportState::Kind::idle && m_resolveTask;
    if (!track || started) {
        logDebug(lcOblinPlayback(), QStringLiteral("play: resuming current playback"));
        report(done, [this] { m_player.play(); });
        return;
    }
    logDebug(lcOblinPlayback(), indexLine("play: resolving track at index %lld", *m_currentIndex));
    resolveAndPlay(*track, done);
}

std::optional<PlayContext::QueueStep> PlayContext::followingEntry() const
{
    if (m_shuffleEnabled) {
        const qsizetype slot = m_shufflePosition ? *m_shufflePosition + 1 : 0;
        if (slot < m_shuffledIndices.size())
            return QueueStep{m_shuffledIndices[slot], slot, false};
        if (m_repeatMode == RepeatMode::all)
            return QueueStep{m_shuffledIndices[0], 0, true};
        return std::nullopt;
    }
    const qsizetype following = *m_currentIndex + 1;
    if (following < m_queue.size())
        return QueueStep{following, std::nullopt, false};
    if (m_repeatMode == RepeatMode::all)
        return QueueStep{0, std::nullopt, true};
    return std::nullopt;
}

void PlayContext::next(const Completion& done)
{
    // Nothing to move on from without a current entry in the queue.
    if (!currentTrack()) {
        done(nullptr);
        return;
    }
    const std::optional<QueueStep> step = followingEntry();
    if (!step) {
        logDebug(lcOblinPlayback(), QStringLiteral("next: end of queue, stopping"));
        report(done, [this] { m_player.stop(); });
        return;
    }
    if (m_shuffleEnabled && step->wraps)
        logDebug(lcOblinPlayback(), indexLine("next (shuffle+repeat-all): wrapping to index %lld", step->index));
    else if (m_shuffleEnabled)
        logDebug(lcOblinPlayback(), indexLine("next (shuffle): index %lld", step->index));
    else if (step->wraps)
        logDebug(lcOblinPlayback(), QStringLiteral("next (repeat-all): wrapping to index 0"));
    else
        logDebug(lcOblinPlayback(), indexLine("next: index %lld", step->index));
    moveAndPlay(step->index, step->slot, done);
}

void PlayContext::previous(const Completion& done)
{
    if (!currentTrack()) {
        done(nullptr);
        return;
    }
    if (m_player.clock()->position() > restartThreshold) {
        logDebug(lcOblinPlayback(), QStringLiteral("previous: restarting current track (position > 3s)"));
        restartCurrentTrack(done);
        return;
    }
    if (m_shuffleEnabled) {
        const qsizetype slot = m_shufflePosition ? *m_shufflePosition - 1 : -1;
        if (slot >= 0) {
            logDebug(lcOblinPlayback(), indexLine("previous (shuffle): index %lld", m_shuffledIndices[slot]));
            moveAndPlay(m_shuffledIndices[slot], slot, done);
        } else {
            restartCurrentTrack(done);
        }
        return;
    }
    const qsizetype preceding = *m_currentIndex - 1;
    if (preceding >= 0) {
        logDebug(lcOblinPlayback(), indexLine("previous: index %lld", preceding));
        moveAndPlay(preceding, std::nullopt, done);
    } else {
        restartCurrentTrack(done);
    }
}

void PlayContext::handleTrackEnd(std::exception_ptr streamFailure)
{
    if (streamFailure)
        setLastError(streamFailure);
    const bool gaveAudio = !streamFailure && m_loadedStreamGaveAudio && m_loadedStreamGaveAudio->load();
    m_silentTrackEnds = gaveAudio ? 0 : m_silentTrackEnds + 1;
    autoAdvance(gaveAudio);
}

void PlayContext::autoAdvance(bool trackGaveAudio)
{
    if (!m_currentIndex || *m_currentIndex < 0 || *m_currentIndex >= m_queue.size())
        return;
    const qsizetype current = *m_currentIndex;
    logDebug(lcOblinPlayback(), indexLine("Auto-advance from index %lld", current));
    // Failures only reach lastError: nobody waits for an automatic advance.
    const Completion done = [guard = QPointer<PlayContext>(this)](std::exception_ptr error) {
        if (error && guard)
            guard->setLastError(error);
    };
    // A kept entry is gone from the list: it is not replayed.
    if (m_repeatMode == RepeatMode::one && current != m_keptIndex) {
        // Replaying a track that gives no audio would end at once, forever.
        if (!trackGaveAudio) {
            logDebug(lcOblinPlayback(), indexLine("autoAdvance: index %lld played no audio, not replaying", current));
            return;
        }
        logDebug(lcOblinPlayback(), indexLine("autoAdvance (repeat-one): replaying index %lld", current));
        resolveAndPlay(m_queue[current], done);
        return;
    }
    // Likewise a queue in which no track gives audio, under repeat all.
    if (!trackGaveAudio && m_silentTrackEnds >= m_queue.size()) {
        logDebug(lcOblinPlayback(), QStringLiteral("autoAdvance: no track of the queue played audio, stopping"));
        return;
    }
    if (const std::optional<QueueStep> step = followingEntry())
        moveAndPlay(step->index, step->slot, done);
}

void PlayContext::moveAndPlay(qsizetype index, std::optional<qsizetype> slot, const Completion& done)
{
    if (m_keptIndex && *m_keptIndex != index)
        dropKeptEntry(index, slot);
    if (slot)
        m_shufflePosition = slot;
    setCurrentIndex(index);
    resolveAndPlay(m_queue[index], done);
}

void PlayContext::restartCurrentTrack(const Completion& done)
{
    // With no stream loaded (nothing played yet, or the player was stopped)
    // there is nothing to restart; the player's refusal would only show the
    // user an error for a harmless press of previous.
    m_player.seek(0.0, [done](std::exception_ptr error) {
        done(isCancellation(error) || isSeekNotSupported(error) ? nullptr : error);
    });
}

} // namespace vessa
