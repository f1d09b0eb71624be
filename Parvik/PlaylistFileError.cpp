#include "Parvik/PlaylistFileError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(PlaylistFileError)
};

} // namespace

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
        return Text::tr("Malformed playlist header: '%1' (expected '#parvik:<version>\\t<json>')").arg(m_line);
    case Kind::unsupportedVersion:
        return Text::tr("Unsupported playlist file version: %1 (this app supports up to version 2)").arg(m_version);
    case Kind::missingHeader: break;
    }
    return Text::tr("Playlist file is empty or missing the #parvik header");
}

} // namespace vessa
