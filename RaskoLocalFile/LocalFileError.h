#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Failures of the local-file source. Paths are absolute file-system paths.
class LocalFileError : public Error {
public:
    enum class Kind { trackNotFound, fileNotFound, cannotRead, cannotEnumerate, zipOpenFailed, zipEntryNotFound };

    static LocalFileError trackNotFound(QString artist, QString album, QString title);
    static LocalFileError fileNotFound(QString path);
    // The file is there but cannot be read; `reason` in plain words
    // ("permission denied").
    static LocalFileError cannotRead(QString path, QString reason);
    static LocalFileError cannotEnumerate(QString directory);
    static LocalFileError zipOpenFailed(QString path);
    static LocalFileError zipEntryNotFound(QString zipPath, QString entryPath);

    Kind kind() const { return m_kind; }
    // trackNotFound's payload.
    const QString& artist() const { return m_first; }
    const QString& album() const { return m_second; }
    const QString& title() const { return m_third; }
    // The file, folder or archive path of the other kinds (for
    // zipEntryNotFound the archive's path), and the member's path.
    const QString& path() const { return m_first; }
    const QString& entryPath() const { return m_second; }

    QString description() const override;

private:
    LocalFileError(Kind kind, QString first, QString second = {}, QString third = {});

    Kind m_kind;
    QString m_first;
    QString m_second;
    QString m_third;
};

} // namespace vessa
