#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Why a playlist file could not be read.
class PlaylistFileError : public Error {
public:
    enum class Kind { malformedHeader, unsupportedVersion, missingHeader };

    static PlaylistFileError malformedHeader(QString line);
    static PlaylistFileError unsupportedVersion(qint64 version);
    static PlaylistFileError missingHeader();

    Kind kind() const { return m_kind; }
    // The whole first line of malformedHeader; empty otherwise.
    const QString& line() const { return m_line; }
    // The version of unsupportedVersion; 0 otherwise.
    qint64 version() const { return m_version; }

    QString description() const override;

private:
    PlaylistFileError(Kind kind, QString line, qint64 version);

    Kind m_kind;
    QString m_line;
    qint64 m_version;
};

} // namespace vessa
