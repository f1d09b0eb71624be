#pragma once

#include "VessaCore/Error.h"

namespace vessa {

// A file that could not be read from disk; `reason` is the system's message
// or the reader's own, translated in this error's context.
class FileReadError : public Error {
public:
    FileReadError(QString path, QString reason);

    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }
    QString description() const override;

private:
    QString m_path;
    QString m_reason;
};

} // namespace vessa
