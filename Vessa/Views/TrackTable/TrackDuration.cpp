#include "Vessa/Views/TrackTable/TrackDuration.h"

#include <cmath>
#include <limits>

namespace vessa {

QString formatTrackDuration(std::optional<double> seconds)
{
    if (!seconds || !std::isfinite(*seconds))
        return QString();
    // Beyond the range of a 64-bit count there is no meaningful length to show.
    const double truncated = std::trunc(*seconds);
    if (std::fabs(truncated) >= double(std::numeric_limits<qint64>::max()))
        return QString();
    const auto whole = qint64(truncated);
    const qint64 minutes = whole / 60;
    const qint64 rest = whole - 60 * minutes;
    return QString::asprintf("%lld:%02lld", static_cast<long long>(minutes), static_cast<long long>(rest));
}

} // namespace vessa
