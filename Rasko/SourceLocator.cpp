#include "Rasko/SourceLocator.h"

#include "VessaCore/FileNameBytes.h"
#include "VessaCore/FileReadError.h"
#include "VessaCore/PathExtension.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vessa {

std::optional<QString> SourceLocator::inferredFileExtension() const
{
    if (m_kind == Kind::data)
        return std::nullopt;
    return pathExtension(m_path).toLower();
}

QByteArray SourceLocator::contents() const
{
    if (m_kind == Kind::data)
        return m_bytes;
    // Opened by its own bytes, so a name that is not UTF-8 is found too.
    const int fd = ::open(pathToBytes(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileReadError(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw FileReadError(m_path, file.errorString());
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileReadError(m_path, file.errorString());
    return bytes;
}

} // namespace vessa
