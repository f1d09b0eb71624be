#pragma once

#include "VessaCore/Error.h"

#include <QString>
#include <QStringList>

namespace vessa {

// A failure while copying the playlist files from one playlist folder to
// another. `folder` is the folder concerned as given; `message` is the
// system's text for the underlying failure.
//
// keptDiffering is no failure of the copy but what the user must be told
// after it: playlists that were not copied because the target folder held
// other versions of them, which were kept, and whether the target's empty
// Starred now holds the source's.
class PlaylistMigrationError : public Error {
public:
    enum class Kind { cannotCreateFolder, listFailed, copyFailed, keptDiffering };
    enum class StarredCopy { asItWas, filledFromSource };

    static PlaylistMigrationError cannotCreateFolder(QString folder, QString message);
    static PlaylistMigrationError listFailed(QString folder, QString message);
    // `fileName`: the playlist file that could not be copied into `folder`.
    static PlaylistMigrationError copyFailed(QString fileName, QString folder, QString message);
    // `playlists` kept as they were in `folder`; their other versions are
    // still in `sourceFolder`. `starred` says whether the empty Starred of
    // `folder` was replaced by the one of `sourceFolder`.
    static PlaylistMigrationError keptDiffering(QStringList playlists, QString folder, QString sourceFolder,
                                                StarredCopy starred = StarredCopy::asItWas);

    Kind kind() const { return m_kind; }
    // Empty unless the kind is copyFailed.
    const QString& fileName() const { return m_fileName; }
    const QString& folder() const { return m_folder; }
    // Empty unless the kind is keptDiffering.
    const QStringList& playlists() const { return m_playlists; }
    const QString& sourceFolder() const { return m_sourceFolder; }
    StarredCopy starred() const { return m_starred; }
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    PlaylistMigrationError(Kind kind, QString fileName, QString folder, QString message);

    Kind m_kind;
    QString m_fileName;
    QString m_folder;
    QString m_message;
    QStringList m_playlists;
    QString m_sourceFolder;
    StarredCopy m_starred = StarredCopy::asItWas;
};

} // namespace vessa
