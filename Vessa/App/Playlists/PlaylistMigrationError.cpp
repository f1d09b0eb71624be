#include "Vessa/App/Playlists/PlaylistMigrationError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(PlaylistMigrationError)
};

} // namespace

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
            sentences.append(Text::tr("These playlists were already in %1 and were kept as they are there: %2. Their "
                                      "other versions were not copied; they are still in %3.")
                                 .arg(m_folder, m_playlists.join(QStringLiteral(", ")), m_sourceFolder));
        if (m_starred == StarredCopy::filledFromSource)
            sentences.append(
                Text::tr("Starred in %1 was empty; it now holds the tracks starred in %2, which keeps them too.")
                    .arg(m_folder, m_sourceFolder));
        return sentences.join(u' ');
    }
    case Kind::cannotCreateFolder:
        return Text::tr("Could not create the playlist folder %1: %2").arg(m_folder, m_message);
    case Kind::listFailed: return Text::tr("Could not list the playlist folder %1: %2").arg(m_folder, m_message);
    case Kind::copyFailed: break;
    }
    return Text::tr("Could not copy the playlist file '%1' to %2: %3").arg(m_fileName, m_folder, m_message);
}

} // namespace vessa
