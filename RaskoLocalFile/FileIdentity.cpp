#include "RaskoLocalFile/FileIdentity.h"

#include <QFile>

#include <sys/stat.h>

namespace vessa {

std::optional<FileIdentity::Stamp> FileIdentity::stampWithoutFollowingLinks(const QByteArray& path)
{
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return std::nullopt;
    return Stamp{FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)},
                 static_cast<qint64>(info.st_size),
                 static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::optional<FileIdentity> FileIdentity::withoutFollowingLinks(const QByteArray& path)
{
    const std::optional<Stamp> stamp = stampWithoutFollowingLinks(path);
    return stamp ? std::optional<FileIdentity>(stamp->identity) : std::nullopt;
}

std::optional<FileIdentity> FileIdentity::withoutFollowingLinks(const QString& path)
{
    return withoutFollowingLinks(QFile::encodeName(path));
}

} // namespace vessa
