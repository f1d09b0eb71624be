#include "Parvik/PlaylistFileError.h"

namespace vessa {

PlaylistFileError::PlaylistFileError(Kind kind, QString line, qint64 version)
    : m_kind(kind), m_line(std::move(line)), m_version(version)
{
}

PlaylistFileError PlaylistFileError::malformedHeader(QString line)
{
    return PlaylistFileError(Kind::malformedHeader, std::move(line), 0);
}

PlaylistFileError PlaylistFileError::unsupportedVersion(qint64 version)
{
    return PlaylistFileError(Kind::unsupportedVersion, QString(), version);
}

PlaylistFileError PlaylistFileError::missingHeader()
{
    return PlaylistFileError(Kind::missingHeader, QString(), 0);
}

QString PlaylistFileError::description() const
{
    switch (m_kind) {
    case Kind::malformedHeader:
        // The expected form shows "\t" as two characters on purpose.
        return QStringLiteral("Malformed playlist header: '") + m_line
               + QStringLiteral("' (expected '#parvik:<version>\\t<json>')");
    case Kind::unsupportedVersion:
        return QStringLiteral("Unsupported playlist file version: ") + QString::number(m_version)
               + QStringLiteral(" (this app supports up to version 2)");
    case Kind::missingHeader: break;
    }
    return QStringLiteral("Playlist file is empty or missing the #parvik header");
}

} // namespace vessa
