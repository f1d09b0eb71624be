#include "RaskoMikmod/OrderPositionHistory.h"

#include <cstddef>

namespace vessa {

OrderPositionHistory::OrderPositionHistory(int positionCount)
    : m_played(static_cast<std::size_t>(positionCount > 0 ? positionCount : 0), false)
{
}

void OrderPositionHistory::observeTick(const TickState& before, const TickState& after)
{
    // Positions change only when a tick starts a new row.
    if (!before.playing || after.tick != 0)
        return;
    if (before.pendingJump != 0) {
        // A jump, a pattern break, a seek or the start of the song: the new
        // row applied the pending jump to the position as it stood before.
        // (A jump effect moves the position at once and leaves a relative
        // jump of zero pending.)
        enter(before.position + before.pendingJump - 2);
    } else if (after.position != before.position && (after.pendingJump == 0 || after.row < before.row)) {
        // The pattern ran out and the song moved on by one. When the new
        // row's own jump effect already moved the position again, the step
        // may go unseen; a loop through it is then caught one round later.
        enter(before.position + 1);
    }
}

void OrderPositionHistory::enter(int position)
{
    if (position < 0 || position >= static_cast<int>(m_played.size()))
        return;
    if (m_played[static_cast<std::size_t>(position)])
        m_reentered = true;
    m_played[static_cast<std::size_t>(position)] = true;
}

} // namespace vessa
