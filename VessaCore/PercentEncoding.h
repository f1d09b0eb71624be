#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace vessa {

// Writes every character that is not an ASCII letter, an ASCII digit or one of
// `allowedPunctuation` as the %XX escapes (upper-case hex) of its UTF-8 bytes.
// Text that is not valid UTF-16 (a lone surrogate) is converted lossily first,
// so the result is always plain ASCII.
QString percentEncode(QStringView text, QStringView allowedPunctuation);
// The same for UTF-8 bytes, appended to `out`; returns how many characters
// that takes when `out` is null (so a caller can size its text first).
qsizetype appendPercentEncoded(QString* out, QByteArrayView utf8, QStringView allowedPunctuation);

// Decodes %XX escapes (either case). Nothing when an escape is malformed or the
// decoded bytes are not valid UTF-8. '+' stays '+'.
std::optional<QString> percentDecode(QStringView text);

} // namespace vessa
