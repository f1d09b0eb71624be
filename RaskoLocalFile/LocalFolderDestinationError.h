#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// A failure of the folder destination. Paths are the folder's path as the
// destination was given it; `message` is the underlying system error's text.
class LocalFolderDestinationError : public Error {
public:
    enum class Kind {
        directoryNotFound,
        fileNotFound,
        cannotCreateDirectory,
        readFailed,
        writeFailed,
        deleteFailed,
        listFailed,
    };

    static LocalFolderDestinationError directoryNotFound(QString directory);
    static LocalFolderDestinationError fileNotFound(QString fileID, QString directory);
    static LocalFolderDestinationError cannotCreateDirectory(QString directory, QString message);
    static LocalFolderDestinationError readFailed(QString fileID, QString message);
    static LocalFolderDestinationError writeFailed(QString fileID, QString message);
    static LocalFolderDestinationError deleteFailed(QString fileID, QString message);
    static LocalFolderDestinationError listFailed(QString directory, QString message);

    Kind kind() const { return m_kind; }
    // Empty where the kind carries none.
    const QString& fileID() const { return m_fileID; }
    const QString& directory() const { return m_directory; }
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    LocalFolderDestinationError(Kind kind, QString fileID, QString directory, QString message);

    Kind m_kind;
    QString m_fileID;
    QString m_directory;
    QString m_message;
};

} // namespace vessa
