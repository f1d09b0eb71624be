#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace vessa {

// Strict UTF-8: rejects overlong forms, surrogates, code points above U+10FFFF
// and truncated sequences (QString::fromUtf8 would quietly replace them).
bool isValidUtf8(QByteArrayView bytes);

// The decoded text, or nothing when the bytes are not valid UTF-8.
std::optional<QString> decodeUtf8Strict(QByteArrayView bytes);

} // namespace vessa
