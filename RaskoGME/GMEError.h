#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Failures of the chip-music decoder. description() is the text shown to the user.
class GMEError : public Error {
public:
    enum class Kind { trackOutOfRange, gmeError, openFailed, noTrackInfo };

    static GMEError trackOutOfRange(qint64 index, qint64 count);
    // `message` is the emulator library's own error text.
    static GMEError gmeError(QString message);
    static GMEError openFailed();
    static GMEError noTrackInfo();

    Kind kind() const { return m_kind; }
    qint64 index() const { return m_index; }
    qint64 count() const { return m_count; }
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    explicit GMEError(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    qint64 m_index = 0;
    qint64 m_count = 0;
    QString m_message;
};

} // namespace vessa
