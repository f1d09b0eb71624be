#include "Vessa/App/System/PathProblem.h"

#include <QDir>
#include <QFileInfo>

namespace vessa::PathProblem {

namespace {

QString quoted(const QString& path)
{
    return u'\'' + path + u'\'';
}

// "<subject> is a link to '<target>', which does not exist", for a link to nothing.
std::optional<QString> linkToNothing(const QFileInfo& info, const QString& subject)
{
    if (!info.isSymLink() || info.exists())
        return std::nullopt;
    return subject + QStringLiteral(" is a link to ") + quoted(info.symLinkTarget())
           + QStringLiteral(", which does not exist");
}

} // namespace

std::optional<QString> ofFileToRead(const QString& path)
{
    const QFileInfo info(path);
    if (std::optional<QString> link = linkToNothing(info, QStringLiteral("it")))
        return link;
    if (!info.exists())
        return QStringLiteral("it does not exist");
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!info.isFile())
        return QStringLiteral("it is not a regular file");
    if (!info.isReadable())
        return QStringLiteral("it cannot be read");
    return std::nullopt;
}

std::optional<QString> ofFolderToRead(const QString& path)
{
    const QFileInfo info(path);
    if (std::optional<QString> link = linkToNothing(info, QStringLiteral("it")))
        return link;
    if (!info.exists())
        return QStringLiteral("it does not exist");
    if (!info.isDir())
        return QStringLiteral("it is a file, not a folder");
    if (!info.isReadable() || !info.isExecutable())
        return QStringLiteral("it cannot be read");
    return std::nullopt;
}

std::optional<QString> ofFolderToWrite(const QString& path)
{
    // The nearest part of the path that exists decides: the rest is made.
    const QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString existing = folder;
    while (!QFileInfo(existing).exists() && !QFileInfo(existing).isSymLink() && existing != QDir::rootPath())
        existing = QFileInfo(existing).absolutePath();
    const QFileInfo info(existing);
    const QString subject = existing == folder ? QStringLiteral("it") : quoted(existing);
    if (std::optional<QString> link = linkToNothing(info, subject))
        return link;
    if (!info.isDir())
        return subject + QStringLiteral(" is a file, not a folder");
    if (!info.isWritable())
        return subject + QStringLiteral(" cannot be written");
    return std::nullopt;
}

} // namespace vessa::PathProblem
