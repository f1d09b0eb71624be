#pragma once

#include "Oblin/PlaybackCommand.h"

#include <QObject>
#include <QString>

#include <functional>

namespace vessa {

class PlayContext;

// The remote commands of the desktop's media controls (media keys, panels,
// playerctl), each turned into a playback command for the play context. A
// command is accepted at once; one that fails later is logged and otherwise
// dropped, and the play context keeps it as its last error.
//
// Threads: main thread only. The play context must outlive the commands.
class NowPlayingCommands : public QObject {
    Q_OBJECT

public:
    // Runs after a seek command succeeded, with the position sought to.
    using SeekedHandler = std::function<void(qint64 positionMicroseconds)>;

    explicit NowPlayingCommands(PlayContext& playContext, QObject* parent = nullptr);

    void setSeekedHandler(SeekedHandler handler) { m_seekedHandler = std::move(handler); }

    void play();
    void pause();
    // Pauses while playing, plays when paused or idle.
    void playPause();
    // Pauses: the player has no stop that keeps the track.
    void stop();
    void next();
    void previous();
    // Moves by `offset` from the current position, not before 0; past the
    // end of a track of known length it goes to the next track.
    void seek(qint64 offsetMicroseconds);
    // Seeks to `position` within the track named `trackId`. Ignored for any
    // other track (a stale request), a negative position, one past the
    // track's known length, or without a loaded track.
    void setPosition(const QString& trackId, qint64 positionMicroseconds);

private:
    void send(const PlaybackCommand& command);
    void ignore(const QString& what);

    PlayContext& m_playContext;
    SeekedHandler m_seekedHandler;
};

} // namespace vessa
