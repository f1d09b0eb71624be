#include "RaskoLocalFile/ZipArchiveError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(ZipArchiveError)
};

} // namespace

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
    ZipArchiveError error(Kind::entryTooLarge, std::move(zipPath), std::move(entryPath), QString());
    error.m_size = size;
    error.m_limit = limit;
    return error;
}

QString ZipArchiveError::description() const
{
    switch (m_kind) {
    case Kind::openFailed: return Text::tr("Cannot read zip archive %1: %2").arg(m_zipPath, m_message);
    case Kind::readFailed: return Text::tr("Cannot read '%1' in zip %2: %3").arg(m_entryPath, m_zipPath, m_message);
    case Kind::entryTooLarge:
        return Text::tr("Entry '%1' in zip %2 is too large: %3 bytes, more than the limit of %4 bytes")
            .arg(m_entryPath, m_zipPath, QString::number(m_size), QString::number(m_limit));
    }
    return m_message;
}

} // namespace vessa
