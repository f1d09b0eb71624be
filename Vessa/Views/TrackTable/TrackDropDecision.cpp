#include "Vessa/Views/TrackTable/TrackDropDecision.h"

namespace vessa::TrackDropDecision {

Operation operation(const TrackTableConfiguration& configuration, Origin origin, Copying copying, Payload payload)
{
    if (payload == Payload::NothingToAdd || (!configuration.reorderable && !configuration.droppable))
        return Operation::None;
    if (origin == Origin::ThisTable && configuration.reorderable && copying == Copying::AsProposed)
        return Operation::Move;
    return configuration.droppable ? Operation::Copy : Operation::None;
}

int destinationRow(int rowUnderPointer, const QRect& rowRect, int pointerY, int rowCount)
{
    if (rowUnderPointer < 0 || rowUnderPointer >= rowCount)
        return rowCount;
    const bool lowerHalf = pointerY >= rowRect.top() + rowRect.height() / 2;
    return lowerHalf ? rowUnderPointer + 1 : rowUnderPointer;
}

} // namespace vessa::TrackDropDecision
