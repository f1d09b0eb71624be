#include "Vessa/App/Playlists/PlaylistMigrationError.h"

namespace vessa {

PlaylistMigrationError::PlaylistMigrationError(Kind kind, QString fileName, QString folder, QString message)
    : m_kind(kind), m_fileName(std::move(fileName)), m_folder(std::move(folder)), m_message(std::move(message))
{
}

PlaylistMigrationError PlaylistMigrationError::cannotCreateFolder(QString folder, QString message)
{
    return PlaylistMigrationError(Kind::cannotCreateFolder, {}, std::move(folder), std::move(message));
}

PlaylistMigrationError PlaylistMigrationError::listFailed(QString folder, QString message)
{
    return PlaylistMigrationError(Kind::listFailed, {}, std::move(folder), std::move(message));
}

PlaylistMigrationError PlaylistMigrationError::copyFailed(QString fileName, QString folder, QString message)
{
    return PlaylistMigrationError(Kind::copyFailed, std::move(fileName), std::move(folder), std::move(message));
}

PlaylistMigrationError PlaylistMigrationError::keptDiffering(QStringList playlists, QString folder,
                                                             QString sourceFolder, StarredCopy starred)
{
    PlaylistMigrationError error(Kind::keptDiffering, {}, std::move(folder), {});
    error.m_playlists = std::move(playlists);
    error.m_sourceFolder = std::move(sourceFolder);
    error.m_starred = starred;
    return error;
}

QString PlaylistMigrationError::description() const
{
    switch (m_kind) {
    case Kind::keptDiffering: {
        QStringList sentences;
        if (!m_playlists.isEmpty())
            sentences.append(
                QStringLiteral("These playlists were already in ") + m_folder
                + QStringLiteral(" and were kept as they are there: ") + m_playlists.join(QStringLiteral(", "))
                + QStringLiteral(". Their other versions were not copied; they are still in ") + m_sourceFolder + u'.');
        if (m_starred == StarredCopy::filledFromSource)
            sentences.append(QStringLiteral("Starred in ") + m_folder
                             + QStringLiteral(" was empty; it now holds the tracks starred in ") + m_sourceFolder
                             + QStringLiteral(", which keeps them too."));
        return sentences.join(u' ');
    }
    case Kind::cannotCreateFolder:
        return QStringLiteral("Could not create the playlist folder ") + m_folder + QStringLiteral(": ") + m_message;
    case Kind::listFailed:
        return QStringLiteral("Could not list the playlist folder ") + m_folder + QStringLiteral(": ") + m_message;
    case Kind::copyFailed: break;
    }
    return QStringLiteral("Could not copy the playlist file '") + m_fileName + QStringLiteral("' to ") + m_folder
           + QStringLiteral(": ") + m_message;
}

} // namespace vessa
