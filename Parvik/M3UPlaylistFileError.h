#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Why an M3U or M3U8 file could not be imported.
class M3UPlaylistFileError : public Error {
public:
    enum class Kind { invalidEncoding, emptyFile };

    static M3UPlaylistFileError invalidEncoding(QString filename);
    static M3UPlaylistFileError emptyFile(QString filename);

    Kind kind() const { return m_kind; }
    const QString& filename() const { return m_filename; }

    QString description() const override;

private:
    M3UPlaylistFileError(Kind kind, QString filename);

    Kind m_kind;
    QString m_filename;
};

} // namespace vessa
