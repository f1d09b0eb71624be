#pragma once

#include <QString>

namespace vessa {

// One playback request handed to PlayContext::execute: move the playing
// position, start or resume, pause, or move in the queue. A plain value; it
// is never stored.
class PlaybackCommand {
public:
    enum class Kind { seek, play, pause, next, previous };

    // Seconds from the start of the track.
    static PlaybackCommand seek(double to) { return PlaybackCommand(Kind::seek, to); }
    static PlaybackCommand play() { return PlaybackCommand(Kind::play, 0.0); }
    static PlaybackCommand pause() { return PlaybackCommand(Kind::pause, 0.0); }
    static PlaybackCommand next() { return PlaybackCommand(Kind::next, 0.0); }
    static PlaybackCommand previous() { return PlaybackCommand(Kind::previous, 0.0); }

    Kind kind() const { return m_kind; }
    // The target of a seek; 0 for the other commands.
    double seconds() const { return m_seconds; }

    // The text of log lines: "play", "pause", "next", "previous", or
    // "seek(to: 42.5)" (whole seconds keep one decimal: "seek(to: 30.0)").
    QString description() const;

private:
    PlaybackCommand(Kind kind, double seconds) : m_kind(kind), m_seconds(seconds) {}

    Kind m_kind;
    double m_seconds;
};

} // namespace vessa
