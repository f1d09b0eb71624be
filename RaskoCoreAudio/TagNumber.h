#pragma once

#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace vessa {

// A track or disc number tag such as "3/12": the text is split at every '/',
// empty pieces are dropped, and the first piece must be a whole decimal number
// (optional sign, 64-bit range). The count after the '/' is not used.
std::optional<qint64> parseTagNumber(QStringView text);

} // namespace vessa
