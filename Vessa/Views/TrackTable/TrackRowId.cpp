#include "Vessa/Views/TrackTable/TrackRowId.h"

namespace vessa {

size_t TrackRowId::hash(size_t seed) const noexcept
{
    if (const auto* number = std::get_if<qint64>(&m_value))
        return qHashMulti(seed, 0, *number);
    return qHashMulti(seed, 1, std::get<TrackRef>(m_value).uri());
}

} // namespace vessa
