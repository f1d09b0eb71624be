#pragma once

#include <QString>

namespace vessa {

// The player's transport. The position is a snapshot taken at the transition;
// the live position comes from the Clock.
class TransportState {
public:
    enum class Kind { playing, paused, idle };

    constexpr TransportState() = default;
    static constexpr TransportState playing(double position) { return TransportState(Kind::playing, position); }
    static constexpr TransportState paused(double position) { return TransportState(Kind::paused, position); }
    static constexpr TransportState idle() { return TransportState(); }

    constexpr Kind kind() const { return m_kind; }
    constexpr bool isPlaying() const { return m_kind == Kind::playing; }
    constexpr double position() const { return m_kind == Kind::idle ? 0.0 : m_position; }

    QString description() const;

    friend constexpr bool operator==(const TransportState& a, const TransportState& b)
    {
        return a.m_kind == b.m_kind && (a.m_kind == Kind::idle || a.m_position == b.m_position);
    }

private:
    constexpr TransportState(Kind kind, double position) : m_kind(kind), m_position(position) {}

    Kind m_kind = Kind::idle;
    double m_position = 0.0;
};

} // namespace vessa
