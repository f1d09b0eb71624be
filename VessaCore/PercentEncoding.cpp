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

QString percentEncode(QStringView text, QStringView allowedPunctuation)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString result;
    result.reserve(utf8.size());
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        const char16_t ch = c;
        if (c < 0x80 && (isAsciiAlphanumeric(ch) || allowedPunctuation.contains(QChar(ch)))) {
            result.append(QChar(ch));
        } else {
            result.append(u'%');
            result.append(QLatin1Char(hexDigits[c >> 4]));
            result.append(QLatin1Char(hexDigits[c & 0xF]));
        }
    }
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
