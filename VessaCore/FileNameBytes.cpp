#include "VessaCore/FileNameBytes.h"

#include "VessaCore/Utf8.h"

#include <sys/stat.h>

namespace vessa {

namespace {

constexpr char16_t firstEscape = 0xDC80;
constexpr char16_t lastEscape = 0xDCFF;

bool isEscape(char16_t c)
{
    return c >= firstEscape && c <= lastEscape;
}

} // namespace

QString pathFromBytes(QByteArrayView bytes)
{
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    QString text;
    text.reserve(n);
    for (qsizetype i = 0; i < n;) {
        const int length = validUtf8SequenceLength(p + i, n - i);
        if (length == 0) {
            text.append(QChar(char16_t(0xDC00 + p[i])));
            ++i;
            continue;
        }
        text.append(QString::fromUtf8(bytes.data() + i, length));
        i += length;
    }
    return text;
}

QByteArray pathToBytes(QStringView path)
{
    if (!hasUndecodedBytes(path))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        // A low surrogate right after a high one is half of a real character.
        if (!isEscape(c) || (i > 0 && path[i - 1].isHighSurrogate()))
            continue;
        bytes.append(path.mid(runStart, i - runStart).toUtf8());
        bytes.append(char(c - 0xDC00));
        runStart = i + 1;
    }
    bytes.append(path.mid(runStart).toUtf8());
    return bytes;
}

bool hasUndecodedBytes(QStringView path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (isEscape(path[i].unicode()) && !(i > 0 && path[i - 1].isHighSurrogate()))
            return true;
    }
    return false;
}

bool pathExists(QStringView path)
{
    struct stat status;
    return !path.isEmpty() && ::stat(pathToBytes(path).constData(), &status) == 0;
}

QString readableName(QStringView name)
{
    if (!hasUndecodedBytes(name))
        return name.toString();
    return QString::fromLatin1(pathToBytes(name));
}

} // namespace vessa
