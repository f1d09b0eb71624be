#include "RaskoLocalFile/ZipMemberPath.h"

namespace vessa {

namespace {

const QString separator = QStringLiteral("::");

// Whether `text` ends in ".zip", comparing ASCII letters without case (and
// nothing else: no Unicode case folding).
bool endsWithZipSuffix(QStringView text)
{
    static constexpr char16_t suffix[] = u".zip";
    if (text.size() < 4)
        return false;
    const QStringView tail = text.right(4);
    for (qsizetype i = 0; i < 4; ++i) {
        char16_t c = tail[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

} // namespace

QString ZipMemberPath::make(const QString& archivePath, const QString& memberPath)
{
    return archivePath + separator + memberPath;
}

std::optional<ZipMemberPath::Parts> ZipMemberPath::split(const QString& path)
{
    for (qsizetype at = path.indexOf(separator); at >= 0; at = path.indexOf(separator, at + 1)) {
        const QStringView before = QStringView(path).left(at);
        if (!endsWithZipSuffix(before))
            continue;
        const qsizetype memberStart = at + separator.size();
        if (memberStart >= path.size())
            return std::nullopt;
        return Parts{before.toString(), path.mid(memberStart)};
    }
    return std::nullopt;
}

} // namespace vessa
