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

// The first folder below the root of an absolute path ("" for the root itself).
QStringView topFolder(QStringView path)
{
    const QStringView rest = path.mid(1);
    const qsizetype slash = rest.indexOf(u'/');
    return slash < 0 ? rest : rest.left(slash);
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

QString FileHint::rebase(const QString& hint, const std::optional<QString>& fromPlaylistFilePath,
                         const std::optional<QString>& toPlaylistFilePath)
{
    // An empty hint, or the relative head alone, names no file.
    if (form(hint) == Form::absolute || hint.isEmpty() || hint == relativeHead || !fromPlaylistFilePath
        || fromPlaylistFilePath->isEmpty())
        return hint;
    std::optional<QString> folder;
    if (toPlaylistFilePath && !toPlaylistFilePath->isEmpty()) {
        folder = QDir::cleanPath(playlistFolder(*toPlaylistFilePath));
        if (*folder == QDir::cleanPath(playlistFolder(*fromPlaylistFilePath)))
            return hint;
    }
    const std::optional<QString> file = resolve(hint, fromPlaylistFilePath);
    if (!file)
        return hint;
    const QString target = QDir::cleanPath(*file);
    const QStringView top = topFolder(target);
    if (folder && !top.isEmpty() && topFolder(*folder) == top)
        return encode(QDir(*folder).relativeFilePath(target));
    return encode(target);
}

} // namespace vessa
