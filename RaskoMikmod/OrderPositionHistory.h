#pragma once

#include <vector>

namespace vessa {

// Notices when a module's playback comes back to an order position it has
// already played, which with looping off only happens through a jump that
// libmikmod lets through (a jump to the position itself, or a pattern break
// on the last position). Fed with the player's state around every tick.
class OrderPositionHistory {
public:
    // The player's state as seen around one tick.
    struct TickState {
        int position = 0;    // order-list position
        int pendingJump = 0; // 0, or the jump the next row applies: position += pendingJump - 2
        int row = 0;
        int tick = 0;         // tick within the row; 0 right after a new row began
        bool playing = false; // the player handles ticks (not held back, not past the end)
    };

    explicit OrderPositionHistory(int positionCount);

    void observeTick(const TickState& before, const TickState& after);

    // Playback entered a position for the second time.
    bool reenteredPosition() const { return m_reentered; }

private:
    void enter(int position);

    std::vector<bool> m_played;
    bool m_reentered = false;
};

} // namespace vessa
