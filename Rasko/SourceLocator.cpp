#include "Rasko/SourceLocator.h"

#include "VessaCore/FileReadError.h"
#include "VessaCore/PathExtension.h"

#include <QFile>

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
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileReadError(m_path, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileReadError(m_path, file.errorString());
    return bytes;
}

} // namespace vessa
