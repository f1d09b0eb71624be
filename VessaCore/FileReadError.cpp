#include "VessaCore/FileReadError.h"

#include "VessaCore/PathExtension.h"

#include <QCoreApplication>

namespace vessa {

FileReadError::FileReadError(QString path, QString reason) : m_path(std::move(path)), m_reason(std::move(reason))
{
}

QString FileReadError::description() const
{
    return QCoreApplication::translate("FileReadError", "The file \u201C%1\u201D couldn\u2019t be read: %2")
        .arg(lastPathComponent(m_path), m_reason);
}

} // namespace vessa
