#pragma once

#include <QString>

#include <optional>

namespace vessa {

// The one text of a track length everywhere in the program: "m:ss" with as
// many minute digits as needed and no hour field, the seconds truncated
// toward zero. Absent and non-finite lengths give "".
QString formatTrackDuration(std::optional<double> seconds);

} // namespace vessa
