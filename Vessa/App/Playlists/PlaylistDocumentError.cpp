#include "Vessa/App/Playlists/PlaylistDocumentError.h"

#include <QCoreApplication>

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
    return QCoreApplication::translate("PlaylistDocumentError", "Playlist file '%1' is empty").arg(m_filename);
}

} // namespace vessa
