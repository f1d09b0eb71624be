#include "Vessa/App/Playlists/PlaylistDocumentError.h"

namespace vessa {

PlaylistDocumentError::PlaylistDocumentError(Kind kind, QString filename)
    : m_kind(kind), m_filename(std::move(filename))
{
}

PlaylistDocumentError PlaylistDocumentError::emptyFile(QString filename)
{
    return PlaylistDocumentError(Kind::emptyFile, std::move(filename));
}

QString PlaylistDocumentError::description() const
{
    return QStringLiteral("Playlist file '") + m_filename + QStringLiteral("' is empty");
}

} // namespace vessa
