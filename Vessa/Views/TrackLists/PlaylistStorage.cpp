#include "Vessa/Views/TrackLists/PlaylistStorage.h"

#include "Parvik/PlaylistLibrary.h"

namespace vessa {

PlaylistStorage PlaylistStorage::library(QString name)
{
    PlaylistStorage storage;
    storage.m_name = std::move(name);
    return storage;
}

PlaylistStorage PlaylistStorage::document(PlaylistDocument* document, std::optional<QString> filePath)
{
    Q_ASSERT(document);
    PlaylistStorage storage;
    storage.m_document = document;
    storage.m_filePath = std::move(filePath);
    return storage;
}

bool PlaylistStorage::isStarred() const
{
    return isLibrary() && m_name == PlaylistLibrary::starredName;
}

} // namespace vessa
