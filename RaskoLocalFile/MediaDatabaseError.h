#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// A failure of the media database. `reason` is SQLite's own message for the
// failed call ("unknown" when it gave none).
//
// `damaged` and `newerVersion` refuse an existing file that must not be used
// as it is: SQLite finds it damaged or not a database at all (`reason` says
// what it found), or its schema version is above `MediaDatabase::schemaVersion`
// (`reason` is that version as a decimal number).
class MediaDatabaseError : public Error {
public:
    enum class Kind { cannotOpen, schemaCreationFailed, queryFailed, insertFailed, damaged, newerVersion };

    static MediaDatabaseError cannotOpen(QString path, QString reason);
    static MediaDatabaseError damaged(QString path, QString reason);
    static MediaDatabaseError newerVersion(QString path, qint64 version);
    static MediaDatabaseError schemaCreationFailed(QString reason);
    static MediaDatabaseError queryFailed(QString reason);
    static MediaDatabaseError insertFailed(QString reason);

    Kind kind() const { return m_kind; }
    // The database path of cannotOpen, damaged and newerVersion; empty for the
    // other kinds.
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }

    QString description() const override;

private:
    MediaDatabaseError(Kind kind, QString path, QString reason);

    Kind m_kind;
    QString m_path;
    QString m_reason;
};

} // namespace vessa
