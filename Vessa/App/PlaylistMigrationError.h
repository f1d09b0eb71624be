#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// A failure while copying the playlist files from one playlist folder to
// another. `folder` is the folder concerned as given; `message` is the
// system's text for the underlying failure.
class PlaylistMigrationError : public Error {
public:
    enum class Kind { cannotCreateFolder, listFailed, copyFailed };

    static PlaylistMigrationError cannotCreateFolder(QString folder, QString message);
    static PlaylistMigrationError listFailed(QString folder, QString message);
    // `fileName`: the playlist file that could not be copied into `folder`.
    static PlaylistMigrationError copyFailed(QString fileName, QString folder, QString message);

    Kind kind() const { return m_kind; }
    // Empty unless the kind is copyFailed.
    const QString& fileName() const { return m_fileName; }
    const QString& folder() const { return m_folder; }
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    PlaylistMigrationError(Kind kind, QString fileName, QString folder, QString message);

    Kind m_kind;
    QString m_fileName;
    QString m_folder;
    QString m_message;
};

} // namespace vessa
