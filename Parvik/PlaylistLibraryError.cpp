#include "Parvik/PlaylistLibraryError.h"

#include "VessaCore/ExceptionDescription.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(PlaylistLibraryError)
};

} // namespace

PlaylistLibraryError::PlaylistLibraryError(Kind kind, QString name, std::exception_ptr underlying)
    : m_kind(kind), m_name(std::move(name)), m_underlying(std::move(underlying))
{
    if (m_underlying)
        m_underlyingText = describeException(m_underlying);
}

PlaylistLibraryError PlaylistLibraryError::playlistAlreadyExists(QString name)
{
    return PlaylistLibraryError(Kind::playlistAlreadyExists, std::move(name));
}

PlaylistLibraryError PlaylistLibraryError::playlistNotFound(QString name)
{
    return PlaylistLibraryError(Kind::playlistNotFound, std::move(name));
}

PlaylistLibraryError PlaylistLibraryError::saveFailed(QString name, std::exception_ptr underlying)
{
    return PlaylistLibraryError(Kind::saveFailed, std::move(name), std::move(underlying));
}

PlaylistLibraryError PlaylistLibraryError::deleteFailed(QString name, std::exception_ptr underlying)
{
    return PlaylistLibraryError(Kind::deleteFailed, std::move(name), std::move(underlying));
}

PlaylistLibraryError PlaylistLibraryError::cannotDeleteStarred()
{
    return PlaylistLibraryError(Kind::cannotDeleteStarred, QString());
}

PlaylistLibraryError PlaylistLibraryError::cannotRenameStarred()
{
    return PlaylistLibraryError(Kind::cannotRenameStarred, QString());
}

PlaylistLibraryError PlaylistLibraryError::invalidName(QString name)
{
    return PlaylistLibraryError(Kind::invalidName, std::move(name));
}

QString PlaylistLibraryError::description() const
{
    switch (m_kind) {
    case Kind::playlistAlreadyExists: return Text::tr("A playlist named '%1' already exists").arg(m_name);
    case Kind::playlistNotFound: return Text::tr("Playlist '%1' not found").arg(m_name);
    case Kind::saveFailed: return Text::tr("Failed to save playlist '%1': %2").arg(m_name, m_underlyingText);
    case Kind::deleteFailed: return Text::tr("Failed to delete playlist '%1': %2").arg(m_name, m_underlyingText);
    case Kind::cannotDeleteStarred: return Text::tr("The Starred playlist cannot be deleted");
    case Kind::cannotRenameStarred: return Text::tr("The Starred playlist cannot be renamed");
    case Kind::invalidName: break;
    }
    return Text::tr("A playlist cannot be named '%1': a name must not be empty, begin with '.' or contain '/'")
        .arg(m_name);
}

} // namespace vessa
