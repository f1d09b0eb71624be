#include "Vessa/App/NowPlaying/PositionJumpDetector.h"

#include <cstdlib>

namespace vessa {

std::optional<qint64> PositionJumpDetector::update(const QString& trackId, qint64 positionMicroseconds, bool playing,
                                                   qint64 elapsedMicroseconds)
{
    const bool sameTrack = m_trackId == trackId;
    // Playing moves the position on by at most the time that passed (less
    // while the output stalls); by itself it never moves back.
    const qint64 earliest = m_position;
    const qint64 latest = m_position + (m_playing ? elapsedMicroseconds : 0);
    m_trackId = trackId;
    m_position = positionMicroseconds;
    m_playing = playing;
    if (!sameTrack) {
        m_announced.clear();
        return std::nullopt;
    }
    if (positionMicroseconds >= earliest - toleranceMicroseconds
        && positionMicroseconds <= latest + toleranceMicroseconds)
        return std::nullopt;
    for (qsizetype i = m_announced.size() - 1; i >= 0; --i) {
        if (std::llabs(positionMicroseconds - m_announced[i]) <= toleranceMicroseconds) {
            // This seek and the ones announced before it are over.
            m_announced.remove(0, i + 1);
            return std::nullopt;
        }
    }
    return positionMicroseconds;
}

void PositionJumpDetector::announce(qint64 positionMicroseconds)
{
    constexpr qsizetype remembered = 8;
    if (m_announced.size() == remembered)
        m_announced.removeFirst();
    m_announced.append(positionMicroseconds);
}

} // namespace vessa
