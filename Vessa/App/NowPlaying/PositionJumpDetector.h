#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace vessa {

// Tells when the playing position jumped (a seek from the window's scrubber,
// a restart) rather than ran on: a reading more than a second before the one
// before, or more than a second past it plus the time that passed while
// playing, is a jump. A position that stands still (a stalled output) is
// none. A jump is reported once, unless it lands where an announced seek was
// going (the clock may skip the earlier of quick seeks). A new track starts a
// new count and is no jump.
class PositionJumpDetector {
public:
    static constexpr qint64 toleranceMicroseconds = 1'000'000;

    // One reading; returns the position when it jumped. `elapsed` is the time
    // since the last reading, `playing` whether the position runs now.
    std::optional<qint64> update(const QString& trackId, qint64 positionMicroseconds, bool playing,
                                 qint64 elapsedMicroseconds);
    // A seek to this position was reported already. Seeks announced quickly
    // one after another are remembered in order, at most eight.
    void announce(qint64 positionMicroseconds);

private:
    std::optional<QString> m_trackId;
    qint64 m_position = 0;
    bool m_playing = false;
    QList<qint64> m_announced; // oldest first
};

} // namespace vessa
