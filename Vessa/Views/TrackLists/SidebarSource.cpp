#include "Vessa/Views/TrackLists/SidebarSource.h"

namespace vessa {

size_t qHash(const SidebarSource& source, size_t seed) noexcept
{
    return qHashMulti(seed, static_cast<int>(source.kind()), source.payload());
}

} // namespace vessa
