#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Failures of the local-file source. Paths are absolute file-system paths.
class LocalFileError : public Error {
public:
    enum class Kind { trackNotFound, fileNotFound, cannotEnumerate, zipOpenFailed, zipEntryNotFound };

    static LocalFileError trackNotFound(QString artist, QString album, QString title);
    static LocalFileError fileNotFound(QString path);
    static LocalFileError cannotEnumerate(QString directory);
    static LocalFileError zipOpenFailed(QString path);
    static LocalFileError zipEntryNotFound(QString zipPath, QString entryPath);

    Kind kind() const { return m_kind; }
    // trackNotFound: artist, album, title. fileNotFound, cannotEnumerate,
    // zipOpenFailed: the path. zipEntryNotFound: the archive path, the member path.
    const QString& first() const { return m_first; }
    const QString& second() const { return m_second; }
    const QString& third() const { return m_third; }

    QString description() const override;

private:
    LocalFileError(Kind kind, QString first, QString second = {}, QString third = {});

    Kind m_kind;
    QString m_first;
    QString m_second;
    QString m_third;
};

} // namespace vessa
