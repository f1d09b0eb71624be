#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace vessa {

// Strict UTF-8: rejects overlong forms, surrogates, code points above U+10FFFF
// and truncated sequences (QString::fromUtf8 would quietly replace them).
bool isValidUtf8(QByteArrayView bytes);

// The length (1 to 4) of the valid UTF-8 sequence that starts at `p`, of which
// `available` bytes (at least 1) may be read; 0 when none starts there.
int validUtf8SequenceLength(const unsigned char* p, qsizetype available);

// The decoded text, or nothing when the bytes are not valid UTF-8.
std::optional<QString> decodeUtf8Strict(QByteArrayView bytes);

} // namespace vessa
