#include "RaskoLocalFile/MountTable.h"

#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoLocalFile/UniqueFd.h"
#include "VessaCore/FileNameBytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace vessa::MountTable {

namespace {

// The field index of the mount point in a line of the table: "36 35 98:0
// /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw".
constexpr qsizetype mountPointField = 4;

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// A field with each "\ooo" turned back into its byte.
QByteArray unescaped(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1]) && isOctalDigit(field[i + 2])
            && isOctalDigit(field[i + 3])) {
            bytes.append(char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        } else {
            bytes.append(field[i]);
        }
    }
    return bytes;
}

QList<QByteArrayView> splitFields(QByteArrayView line)
{
    QList<QByteArrayView> fields;
    qsizetype start = 0;
    while (start <= line.size()) {
        qsizetype end = line.indexOf(' ', start);
        if (end < 0)
            end = line.size();
        if (end > start)
            fields.append(line.sliced(start, end - start));
        start = end + 1;
    }
    return fields;
}

} // namespace

QStringList parse(QByteArrayView mountInfo)
{
    QStringList mountPoints;
    qsizetype lineStart = 0;
    while (lineStart < mountInfo.size()) {
        qsizetype lineEnd = mountInfo.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = mountInfo.size();
        const QByteArrayView line = mountInfo.sliced(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        // Fields are separated by single blanks; blanks in names are escaped.
        const QList<QByteArrayView> fields = splitFields(line);
        // A complete line has its optional fields ended by a lone "-".
        if (fields.size() > mountPointField
            && fields.indexOf(QByteArrayView("-"), mountPointField + 1) > mountPointField)
            mountPoints.append(pathFromBytes(unescaped(fields.at(mountPointField))));
    }
    return mountPoints;
}

std::optional<QStringList> read()
{
    const UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC));
    if (!file.isValid())
        return std::nullopt;
    QByteArray text;
    char buffer[16 * 1024];
    for (;;) {
        const ssize_t size = ::read(file.get(), buffer, sizeof buffer);
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0)
            return std::nullopt;
        if (size == 0)
            break;
        text.append(buffer, size);
    }
    return parse(text);
}

QString canonicalPath(const QString& path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(pathToBytes(path).constData(), nullptr),
                                                               &std::free);
    return resolved ? pathFromBytes(resolved.get()) : QString();
}

QStringList atOrBelow(const QStringList& mountPoints, const QStringList& folders, const Resolve& resolve)
{
    QStringList found;
    for (const QString& given : folders) {
        const QString folder = MusicFolderEnumerator::withoutTrailingSlashes(given);
        const QString target = resolve(folder);
        if (target.isEmpty())
            continue;
        const QString targetPrefix = target.endsWith(u'/') ? target : target + u'/';
        const QString folderPrefix = folder.endsWith(u'/') ? folder : folder + u'/';
        for (const QString& mountPoint : mountPoints) {
            QString name;
            if (mountPoint == target)
                name = folder;
            else if (mountPoint.startsWith(targetPrefix))
                name = folderPrefix + mountPoint.mid(targetPrefix.size());
            if (!name.isEmpty())
                found.append(name);
        }
    }
    return found;
}

} // namespace vessa::MountTable
