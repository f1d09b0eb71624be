// PlayContext: commands and moving through the queue.

#include "Oblin/PlayContext.h"
#include "Oblin/PlaybackLog.h"
#include "VessaCore/Clock.h"
#include "VessaCore/PlayerError.h"

#include <QPointer>

namespace vessa {

namespace {

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

void PlayContext::next(const Completion& done)
{
    if (!m_currentIndex) {
        done(nullptr);
        return;
    }
    if (m_shuffleEnabled) {
        if (m_shuffledIndices.isEmpty()) {
            done(nullptr);
            return;
        }
        const qsizetype slot = m_shufflePosition ? *m_shufflePosition + 1 : 0;
        if (slot < m_shuffledIndices.size()) {
            logDebug(lcOblinPlayback(), indexLine("next (shuffle): index %lld", m_shuffledIndices[slot]));
            moveAndPlay(m_shuffledIndices[slot], slot, done);
        } else if (m_repeatMode == RepeatMode::all) {
            logDebug(lcOblinPlayback(),
                     indexLine("next (shuffle+repeat-all): wrapping to index %lld", m_shuffledIndices[0]));
            moveAndPlay(m_shuffledIndices[0], 0, done);
        } else {
            logDebug(lcOblinPlayback(), QStringLiteral("next: end of queue, stopping"));
            report(done, [this] { m_player.stop(); });
        }
        return;
    }
    const qsizetype following = *m_currentIndex + 1;
    if (following < m_queue.size()) {
        logDebug(lcOblinPlayback(), indexLine("next: index %lld", following));
        moveAndPlay(following, std::nullopt, done);
    } else if (m_repeatMode == RepeatMode::all && !m_queue.isEmpty()) {
        logDebug(lcOblinPlayback(), QStringLiteral("next (repeat-all): wrapping to index 0"));
        moveAndPlay(0, std::nullopt, done);
    } else {
        logDebug(lcOblinPlayback(), QStringLiteral("next: end of queue, stopping"));
        report(done, [this] { m_player.stop(); });
    }
}

void PlayContext::previous(const Completion& done)
{
    if (!m_currentIndex) {
        done(nullptr);
        return;
    }
    if (m_player.clock()->position() > 3.0) {
        logDebug(lcOblinPlayback(), QStringLiteral("previous: restarting current track (position > 3s)"));
        restartCurrentTrack(done);
        return;
    }
    if (m_shuffleEnabled) {
        if (m_shuffledIndices.isEmpty()) {
            done(nullptr);
            return;
        }
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

void PlayContext::handleTrackEnd()
{
    const bool gaveAudio = m_loadedStreamGaveAudio && m_loadedStreamGaveAudio->load();
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
    if (m_repeatMode == RepeatMode::one) {
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
    if (m_shuffleEnabled) {
        if (m_shuffledIndices.isEmpty())
            return;
        const qsizetype slot = m_shufflePosition ? *m_shufflePosition + 1 : 0;
        if (slot < m_shuffledIndices.size())
            moveAndPlay(m_shuffledIndices[slot], slot, done);
        else if (m_repeatMode == RepeatMode::all)
            moveAndPlay(m_shuffledIndices[0], 0, done);
        return;
    }
    if (current + 1 < m_queue.size())
        moveAndPlay(current + 1, std::nullopt, done);
    else if (m_repeatMode == RepeatMode::all)
        moveAndPlay(0, std::nullopt, done);
}

void PlayContext::moveAndPlay(qsizetype index, std::optional<qsizetype> slot, const Completion& done)
{
    if (slot)
        m_shufflePosition = slot;
    setCurrentIndex(index);
    // A queue assigned directly may have left the shuffle order behind it.
    if (index < 0 || index >= m_queue.size()) {
        done(nullptr);
        return;
    }
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
