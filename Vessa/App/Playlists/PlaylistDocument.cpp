#include "Vessa/App/Playlists/PlaylistDocument.h"

#include "Parvik/M3UPlaylistFile.h"
#include "Parvik/PlaylistFile.h"
#include "Vessa/App/Playlists/PlaylistDocumentError.h"
#include "VessaCore/PathExtension.h"

#include <QCoreApplication>

namespace vessa {

const QStringList& PlaylistDocument::readableMimeTypes()
{
    static const QStringList types{parvikMimeType, QStringLiteral("audio/x-mpegurl")};
    return types;
}

const QStringList& PlaylistDocument::writableMimeTypes()
{
    static const QStringList types{parvikMimeType};
    return types;
}

PlaylistDocument::PlaylistDocument() : playlist(QStringLiteral("Untitled"), QList<PlaylistTrack>())
{
}

PlaylistDocument::PlaylistDocument(Playlist playlist) : playlist(std::move(playlist))
{
}

PlaylistDocument PlaylistDocument::read(std::optional<QByteArray> contents, std::optional<QString> fileName)
{
    if (!contents)
        throw PlaylistDocumentError::emptyFile(
            fileName.value_or(QCoreApplication::translate("PlaylistDocumentError", "unknown")));

    const QString file = lastPathComponent(fileName.value_or(QStringLiteral("Untitled.parvik")));
    const QString extension = pathExtension(file);
    const QString name = extension.isEmpty() ? file : file.chopped(extension.size() + 1);
    const QString lowerExtension = extension.toLower();

    if (lowerExtension == u"m3u" || lowerExtension == u"m3u8") {
        const bool isUTF8Only = lowerExtension == u"m3u8";
        return PlaylistDocument(M3UPlaylistFile::parse(*contents, name, isUTF8Only, std::nullopt));
    }
    return PlaylistDocument(PlaylistFile::parse(*contents, name));
}

QByteArray PlaylistDocument::write() const
{
    return PlaylistFile::serialize(playlist);
}

} // namespace vessa
