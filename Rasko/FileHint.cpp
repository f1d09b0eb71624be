#include "Rasko/FileHint.h"

#include "VessaCore/PercentEncoding.h"

#include <QDir>

namespace vessa {

namespace {

constexpr QStringView relativeHead = u"file://";
constexpr QStringView absoluteHead = u"file:///";

// Punctuation that stays as written in an encoded path: the path characters
// of a URL except ';'.
constexpr QStringView pathPunctuation = u"-._~!$&'()*+,=:@/";

// The folder that holds the playlist file, without a trailing slash ("" for a
// file directly under "/"). A relative playlist path counts from the working
// folder.
QString playlistFolder(const QString& playlistFilePath)
{
    QString path = playlistFilePath;
    if (QDir::isRelativePath(path))
        path = QDir::currentPath() + u'/' + path;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path.left(path.lastIndexOf(u'/'));
}

std::optional<QString> absolutePath(const QString& hint)
{
    QStringView path = QStringView(hint).mid(relativeHead.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] == u'?' || path[i] == u'#') {
            path.truncate(i);
            break;
        }
    }
    std::optional<QString> decoded = percentDecode(path);
    if (!decoded || decoded->contains(QChar(u'\0')))
        return std::nullopt;
    qsizetype slashes = 0;
    while (slashes < decoded->size() && decoded->at(slashes) == u'/')
        ++slashes;
    decoded->remove(0, slashes - 1);
    return decoded;
}

std::optional<QString> relativeRest(const QString& hint, FileHint::BadEscapes badEscapes)
{
    const QStringView rest = QStringView(hint).mid(relativeHead.size());
    const std::optional<QString> decoded = percentDecode(rest);
    if (decoded && !decoded->contains(QChar(u'\0')))
        return decoded;
    if (badEscapes == FileHint::BadEscapes::unresolvable)
        return std::nullopt;
    return rest.toString();
}

} // namespace

QString FileHint::encode(const QString& path)
{
    return relativeHead.toString() + percentEncode(path, pathPunctuation);
}

FileHint::Form FileHint::form(const QString& hint)
{
    if (hint.startsWith(absoluteHead))
        return Form::absolute;
    if (hint.startsWith(relativeHead))
        return Form::relative;
    return Form::bare;
}

std::optional<QString> FileHint::resolve(const QString& hint, const std::optional<QString>& playlistFilePath,
                                         BadEscapes badEscapes)
{
    const Form hintForm = form(hint);
    if (hintForm == Form::absolute)
        return absolutePath(hint);
    if (!playlistFilePath || playlistFilePath->isEmpty())
        return std::nullopt;
    const std::optional<QString> rest = hintForm == Form::relative ? relativeRest(hint, badEscapes) : hint;
    if (!rest)
        return std::nullopt;
    return playlistFolder(*playlistFilePath) + u'/' + *rest;
}

} // namespace vessa
