#include "RaskoLocalFile/FileTimes.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vessa {

QDateTime distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}

double secondsSince1970(const QDateTime& date)
{
    const QDateTime valid = date.isValid() ? date : distantPast();
    return static_cast<double>(valid.toMSecsSinceEpoch()) / 1000.0;
}

QDateTime dateFromSecondsSince1970(double seconds)
{
    if (!std::isfinite(seconds))
        return distantPast();
    // Keeps the millisecond count well inside qint64 (about 285,000 years).
    constexpr double limit = 9.0e12;
    const double clamped = std::clamp(seconds, -limit, limit);
    return QDateTime::fromMSecsSinceEpoch(std::llround(clamped * 1000.0), Qt::UTC);
}

QDateTime dateFromFileTime(std::filesystem::file_time_type time)
{
    const auto system = std::chrono::file_clock::to_sys(time);
    const auto msecs = std::chrono::floor<std::chrono::milliseconds>(system).time_since_epoch().count();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(msecs), Qt::UTC);
}

} // namespace vessa
