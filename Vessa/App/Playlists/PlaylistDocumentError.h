#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Why a playlist document could not be opened (besides the errors of the
// playlist readers themselves).
class PlaylistDocumentError : public Error {
public:
    enum class Kind { emptyFile };

    static PlaylistDocumentError emptyFile(QString filename);

    Kind kind() const { return m_kind; }
    const QString& filename() const { return m_filename; }

    QString description() const override;

private:
    PlaylistDocumentError(Kind kind, QString filename);

    Kind m_kind;
    QString m_filename;
};

} // namespace vessa
