#pragma once

#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace vessa {

// An optional '+' or '-' followed by one or more ASCII digits and nothing
// else, within the signed 64-bit range. Anything else gives nothing.
std::optional<qint64> parseDecimalInt64(QStringView text);

} // namespace vessa
