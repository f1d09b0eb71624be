#include "RaskoLocalFile/ZipArchiveError.h"

namespace vessa {

ZipArchiveError::ZipArchiveError(Kind kind, QString zipPath, QString entryPath, QString message)
    : m_kind(kind), m_zipPath(std::move(zipPath)), m_entryPath(std::move(entryPath)), m_message(std::move(message))
{
}

ZipArchiveError ZipArchiveError::openFailed(QString zipPath, QString message)
{
    return ZipArchiveError(Kind::openFailed, std::move(zipPath), {}, std::move(message));
}

ZipArchiveError ZipArchiveError::readFailed(QString zipPath, QString entryPath, QString message)
{
    return ZipArchiveError(Kind::readFailed, std::move(zipPath), std::move(entryPath), std::move(message));
}

ZipArchiveError ZipArchiveError::entryTooLarge(QString zipPath, QString entryPath, quint64 size, quint64 limit)
{
    return ZipArchiveError(Kind::entryTooLarge, std::move(zipPath), std::move(entryPath),
                           QStringLiteral("%1 bytes, more than the limit of %2 bytes").arg(size).arg(limit));
}

QString ZipArchiveError::description() const
{
    switch (m_kind) {
    case Kind::openFailed:
        return QStringLiteral("Cannot read zip archive ") + m_zipPath + QStringLiteral(": ") + m_message;
    case Kind::readFailed:
        return QStringLiteral("Cannot read '") + m_entryPath + QStringLiteral("' in zip ") + m_zipPath
               + QStringLiteral(": ") + m_message;
    case Kind::entryTooLarge:
        return QStringLiteral("Entry '") + m_entryPath + QStringLiteral("' in zip ") + m_zipPath
               + QStringLiteral(" is too large: ") + m_message;
    }
    return m_message;
}

} // namespace vessa
