#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// A ZIP archive or one of its members could not be read. `message` is the
// ZIP library's own text ("Not a zip archive", "CRC error", ...).
class ZipArchiveError : public Error {
public:
    enum class Kind { openFailed, readFailed, entryTooLarge };

    static ZipArchiveError openFailed(QString zipPath, QString message);
    static ZipArchiveError readFailed(QString zipPath, QString entryPath, QString message);
    static ZipArchiveError entryTooLarge(QString zipPath, QString entryPath, quint64 size, quint64 limit);

    Kind kind() const { return m_kind; }
    const QString& zipPath() const { return m_zipPath; }
    const QString& entryPath() const { return m_entryPath; }
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    ZipArchiveError(Kind kind, QString zipPath, QString entryPath, QString message);

    Kind m_kind;
    QString m_zipPath;
    QString m_entryPath;
    QString m_message;
    // The member's size and the limit it exceeds, for entryTooLarge.
    quint64 m_size = 0;
    quint64 m_limit = 0;
};

} // namespace vessa
