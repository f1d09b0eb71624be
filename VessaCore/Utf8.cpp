#include "VessaCore/Utf8.h"

namespace vessa {

int validUtf8SequenceLength(const unsigned char* p, qsizetype available)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int length = 0;
    unsigned char lowest = 0x80;
    unsigned char highest = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            lowest = 0xA0; // no overlong forms
        else if (c == 0xED)
            highest = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            lowest = 0x90;
        else if (c == 0xF4)
            highest = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (length > available)
        return 0;
    if (p[1] < lowest || p[1] > highest)
        return 0;
    for (int k = 2; k < length; ++k) {
        if (p[k] < 0x80 || p[k] > 0xBF)
            return 0;
    }
    return length;
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const int length = validUtf8SequenceLength(p + i, n - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::optional<QString> decodeUtf8Strict(QByteArrayView bytes)
{
    if (!isValidUtf8(bytes))
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

} // namespace vessa
