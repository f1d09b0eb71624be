#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Failures of the tracker-module decoder. `message` is libmikmod's own error
// text, empty when the library gives none (the text then says "Unknown
// error"); data refused before it reaches the library (too short to be a
// module, or too large for it) fails to load with the decoder's own sentence.
class MikmodError : public Error {
public:
    // Crosses the helper's wire as its value (qint32): values stay as they are.
    enum class Kind { initFailed = 0, loadFailed = 1 };

    static MikmodError initFailed(QString message);
    static MikmodError loadFailed(QString message);
    // The error a helper sent as its kind and message; a kind this side does
    // not know fails to load with the message.
    static MikmodError fromWire(qint32 kind, QString message);

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    MikmodError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind;
    QString m_message;
};

} // namespace vessa
