#pragma once

#include <QtGlobal>

#include <algorithm>
#include <limits>

namespace vessa {

// Counted texts are translated with plural forms, which Qt chooses by an int
// (its %n prints that int too). Counts here are 64-bit, so a counted text
// names its count as %1 and fills it in whole with arg(), and hands Qt this
// for choosing the form: the count held within int's range.
inline int pluralFormCount(qint64 count)
{
    return static_cast<int>(
        std::clamp<qint64>(count, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace vessa
