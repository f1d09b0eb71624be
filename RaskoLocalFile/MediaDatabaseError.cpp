#include "RaskoLocalFile/MediaDatabaseError.h"

namespace vessa {

MediaDatabaseError::MediaDatabaseError(Kind kind, QString path, QString reason)
    : m_kind(kind), m_path(std::move(path)), m_reason(std::move(reason))
{
}

MediaDatabaseError MediaDatabaseError::cannotOpen(QString path, QString reason)
{
    return MediaDatabaseError(Kind::cannotOpen, std::move(path), std::move(reason));
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
    }
    return m_reason;
}

} // namespace vessa
