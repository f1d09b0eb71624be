#include "Vessa/App/NowPlaying/NowPlayingCommands.h"

#include "Oblin/PlayContext.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/NowPlaying/NowPlayingSnapshot.h"
#include "VessaCore/Clock.h"
#include "VessaCore/ExceptionDescription.h"

#include <QPointer>

#include <algorithm>

namespace vessa {

namespace {

constexpr double microsecondsPerSecond = 1e6;

} // namespace

NowPlayingCommands::NowPlayingCommands(PlayContext& playContext, QObject* parent)
    : QObject(parent), m_playContext(playContext)
{
}

void NowPlayingCommands::play()
{
    send(PlaybackCommand::play());
}

void NowPlayingCommands::pause()
{
    send(PlaybackCommand::pause());
}

void NowPlayingCommands::playPause()
{
    send(m_playContext.transportState().isPlaying() ? PlaybackCommand::pause() : PlaybackCommand::play());
}

void NowPlayingCommands::stop()
{
    send(PlaybackCommand::pause());
}

void NowPlayingCommands::next()
{
    send(PlaybackCommand::next());
}

void NowPlayingCommands::previous()
{
    send(PlaybackCommand::previous());
}

void NowPlayingCommands::seek(qint64 offsetMicroseconds)
{
    if (!canSeek(m_playContext.currentTrack(), m_playContext.transportState())) {
        ignore(QStringLiteral("Seek without a loaded track"));
        return;
    }
    const Clock& clock = *m_playContext.clock();
    const double target = std::max(0.0, clock.position() + double(offsetMicroseconds) / microsecondsPerSecond);
    if (clock.duration() && target > *clock.duration())
        send(PlaybackCommand::next());
    else
        send(PlaybackCommand::seek(target));
}

void NowPlayingCommands::setPosition(const QString& trackId, qint64 positionMicroseconds)
{
    const std::optional<TrackRef> track = m_playContext.currentTrack();
    if (!canSeek(track, m_playContext.transportState())) {
        ignore(QStringLiteral("SetPosition without a loaded track"));
        return;
    }
    if (trackId != mprisTrackId(*track)) {
        ignore(QStringLiteral("SetPosition for a track that is not current: ") + trackId);
        return;
    }
    const std::optional<double> duration = m_playContext.clock()->duration();
    if (positionMicroseconds < 0 || (duration && positionMicroseconds > microseconds(*duration))) {
        ignore(QStringLiteral("SetPosition outside the track: %1 us").arg(positionMicroseconds));
        return;
    }
    send(PlaybackCommand::seek(double(positionMicroseconds) / microsecondsPerSecond));
}

void NowPlayingCommands::send(const PlaybackCommand& command)
{
    logDebug(lcNowPlaying(), QStringLiteral("Remote command: ") + command.description());
    const QPointer<NowPlayingCommands> guard(this);
    m_playContext.execute(command, [guard, command](std::exception_ptr error) {
        if (error) {
            logError(lcNowPlaying(), QStringLiteral("Remote command failed: ") + describeException(error));
            return;
        }
        if (command.kind() == PlaybackCommand::Kind::seek && guard && guard->m_seekedHandler)
            guard->m_seekedHandler(microseconds(command.seconds()));
    });
}

void NowPlayingCommands::ignore(const QString& what)
{
    logDebug(lcNowPlaying(), QStringLiteral("Remote command ignored: ") + what);
}

} // namespace vessa
