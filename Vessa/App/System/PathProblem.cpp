#include "Vessa/App/System/PathProblem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vessa::PathProblem {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(PathProblem)
};

QString quoted(const QString& path)
{
    return u'\'' + path + u'\'';
}

// "<subject> is a link to '<target>', which does not exist", for a link to
// nothing; no subject stands for "it".
std::optional<QString> linkToNothing(const QFileInfo& info, const std::optional<QString>& subject = std::nullopt)
{
    if (!info.isSymLink() || info.exists())
        return std::nullopt;
    if (!subject)
        return Text::tr("it is a link to %1, which does not exist").arg(quoted(info.symLinkTarget()));
    return Text::tr("%1 is a link to %2, which does not exist").arg(*subject, quoted(info.symLinkTarget()));
}

} // namespace

std::optional<QString> ofFileToRead(const QString& path)
{
    const QFileInfo info(path);
    if (std::optional<QString> link = linkToNothing(info))
        return link;
    if (!info.exists())
        return Text::tr("it does not exist");
    if (info.isDir())
        return Text::tr("it is a folder");
    if (!info.isFile())
        return Text::tr("it is not a regular file");
    if (!info.isReadable())
        return Text::tr("it cannot be read");
    return std::nullopt;
}

std::optional<QString> ofFolderToRead(const QString& path)
{
    const QFileInfo info(path);
    if (std::optional<QString> link = linkToNothing(info))
        return link;
    if (!info.exists())
        return Text::tr("it does not exist");
    if (!info.isDir())
        return Text::tr("it is a file, not a folder");
    if (!info.isReadable() || !info.isExecutable())
        return Text::tr("it cannot be read");
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
    const std::optional<QString> subject = existing == folder ? std::nullopt : std::optional(quoted(existing));
    if (std::optional<QString> link = linkToNothing(info, subject))
        return link;
    if (!info.isDir())
        return subject ? Text::tr("%1 is a file, not a folder").arg(*subject) : Text::tr("it is a file, not a folder");
    if (!info.isWritable())
        return subject ? Text::tr("%1 cannot be written").arg(*subject) : Text::tr("it cannot be written");
    return std::nullopt;
}

} // namespace vessa::PathProblem
