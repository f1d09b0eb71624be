#include "VessaCore/PercentEncoding.h"

#include "VessaCore/Utf8.h"

#include <QByteArray>

namespace vessa {

namespace {

bool isAsciiAlphanumeric(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

qsizetype appendPercentEncoded(QString* out, QByteArrayView utf8, QStringView allowedPunctuation)
{
    static constexpr char16_t hexDigits[] = u"0123456789ABCDEF";
    // The kept ASCII characters as 128 bits, worked out once per call.
    quint64 keptBits[2] = {0, 0};
    const auto keep = [&keptBits](char16_t c) { keptBits[c / 64] |= quint64(1) << (c % 64); };
    for (char16_t c = u'0'; c <= u'z'; ++c)
        if (isAsciiAlphanumeric(c))
            keep(c);
    for (const QChar c : allowedPunctuation)
        if (c.unicode() < 0x80)
            keep(c.unicode());
    const auto kept = [&keptBits](unsigned char c) { return c < 0x80 && (keptBits[c / 64] >> (c % 64)) & 1; };
    qsizetype size = 0;
    for (const char byte : utf8)
        size += kept(static_cast<unsigned char>(byte)) ? 1 : 3;
    if (!out)
        return size;
    qsizetype at = out->size();
    out->resize(at + size);
    char16_t* text = reinterpret_cast<char16_t*>(out->data());
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        if (kept(c)) {
            text[at++] = c;
        } else {
            text[at++] = u'%';
            text[at++] = hexDigits[c >> 4];
            text[at++] = hexDigits[c & 0xF];
        }
    }
    return size;
}

QString percentEncode(QStringView text, QStringView allowedPunctuation)
{
    const QByteArray utf8 = text.toUtf8();
    QString result;
    result.reserve(appendPercentEncoded(nullptr, utf8, allowedPunctuation));
    appendPercentEncoded(&result, utf8, allowedPunctuation);
    return result;
}

std::optional<QString> percentDecode(QStringView text)
{
    if (!text.contains(u'%'))
        return text.toString();
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype plainStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'%')
            continue;
        bytes.append(text.mid(plainStart, i - plainStart).toUtf8());
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1].unicode());
        const int low = hexValue(text[i + 2].unicode());
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
        plainStart = i + 1;
    }
    bytes.append(text.mid(plainStart).toUtf8());
    return decodeUtf8Strict(bytes);
}

} // namespace vessa
