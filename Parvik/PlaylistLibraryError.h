#pragma once

#include "VessaCore/Error.h"

#include <QString>

#include <exception>

namespace vessa {

// A refused or failed operation of the playlist library.
class PlaylistLibraryError : public Error {
public:
    enum class Kind {
        playlistAlreadyExists,
        playlistNotFound,
        saveFailed,
        deleteFailed,
        cannotDeleteStarred,
        cannotRenameStarred,
        invalidName,
    };

    static PlaylistLibraryError playlistAlreadyExists(QString name);
    static PlaylistLibraryError playlistNotFound(QString name);
    static PlaylistLibraryError saveFailed(QString name, std::exception_ptr underlying);
    static PlaylistLibraryError deleteFailed(QString name, std::exception_ptr underlying);
    static PlaylistLibraryError cannotDeleteStarred();
    static PlaylistLibraryError cannotRenameStarred();
    // A name that cannot be a file name: empty, starting with '.', or holding '/' or NUL.
    static PlaylistLibraryError invalidName(QString name);

    Kind kind() const { return m_kind; }
    // The playlist's name; empty for the Starred kinds.
    const QString& name() const { return m_name; }
    // The store's (or the file reader's) error of saveFailed and deleteFailed.
    const std::exception_ptr& underlying() const { return m_underlying; }

    QString description() const override;

private:
    PlaylistLibraryError(Kind kind, QString name, std::exception_ptr underlying = nullptr);

    Kind m_kind;
    QString m_name;
    std::exception_ptr m_underlying;
    QString m_underlyingText;
};

} // namespace vessa
