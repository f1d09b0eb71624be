#include "RaskoLocalFile/MediaDatabaseError.h"

#include "RaskoLocalFile/MediaDatabase.h"

namespace vessa {

MediaDatabaseError::MediaDatabaseError(Kind kind, QString path, QString reason)
    : m_kind(kind), m_path(std::move(path)), m_reason(std::move(reason))
{
}

MediaDatabaseError MediaDatabaseError::cannotOpen(QString path, QString reason)
{
    return MediaDatabaseError(Kind::cannotOpen, std::move(path), std::move(reason));
}

MediaDatabaseError MediaDatabaseError::damaged(QString path, QString reason)
{
    return MediaDatabaseError(Kind::damaged, std::move(path), std::move(reason));
}

MediaDatabaseError MediaDatabaseError::newerVersion(QString path, qint64 version)
{
    return MediaDatabaseError(Kind::newerVersion, std::move(path), QString::number(version));
}

MediaDatabaseError MediaDatabaseError::schemaCreationFailed(QString reason)
{
    return MediaDatabaseError(Kind::schemaCreationFailed, {}, std::move(reason));
}

MediaDatabaseError MediaDatabaseError::queryFailed(QString reason)
{
    return MediaDatabaseError(Kind::queryFailed, {}, std::move(reason));
}

MediaDatabaseError MediaDatabaseError::insertFailed(QString reason)
{
    return MediaDatabaseError(Kind::insertFailed, {}, std::move(reason));
}

QString MediaDatabaseError::description() const
{
    switch (m_kind) {
    case Kind::cannotOpen:
        return QStringLiteral("Cannot open media database at ") + m_path + QStringLiteral(": ") + m_reason;
    case Kind::schemaCreationFailed: return QStringLiteral("Failed to create media database schema: ") + m_reason;
    case Kind::queryFailed: return QStringLiteral("Media database query failed: ") + m_reason;
    case Kind::insertFailed: return QStringLiteral("Media database insert failed: ") + m_reason;
    case Kind::damaged:
        return QStringLiteral("The media database at ") + m_path + QStringLiteral(" is damaged: ") + m_reason;
    case Kind::newerVersion:
        return QStringLiteral("The media database at ") + m_path
               + QStringLiteral(" was written by a newer version of Vessa (its schema version is ") + m_reason
               + QStringLiteral(", this version knows ") + QString::number(MediaDatabase::schemaVersion)
               + QStringLiteral(")");
    }
    return m_reason;
}

} // namespace vessa
