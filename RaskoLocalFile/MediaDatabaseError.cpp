#include "RaskoLocalFile/MediaDatabaseError.h"

#include "RaskoLocalFile/MediaDatabase.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(MediaDatabaseError)
};

} // namespace

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
    case Kind::cannotOpen: return Text::tr("Cannot open media database at %1: %2").arg(m_path, m_reason);
    case Kind::schemaCreationFailed: return Text::tr("Failed to create media database schema: %1").arg(m_reason);
    case Kind::queryFailed: return Text::tr("Media database query failed: %1").arg(m_reason);
    case Kind::insertFailed: return Text::tr("Media database insert failed: %1").arg(m_reason);
    case Kind::damaged: return Text::tr("The media database at %1 is damaged: %2").arg(m_path, m_reason);
    case Kind::newerVersion:
        return Text::tr("The media database at %1 was written by a newer version of Vessa (its schema version is %2, "
                        "this version knows %3)")
            .arg(m_path, m_reason, QString::number(MediaDatabase::schemaVersion));
    }
    return m_reason;
}

} // namespace vessa
