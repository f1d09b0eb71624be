#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Failures of the tracker-module decoder. `message` is libmikmod's own error
// text, empty when the library gives none (the text then says "Unknown
// error"). unrecognizedFormat and fileTooLarge refuse data before it reaches
// the library: too short to be a module, or too large for it.
class MikmodError : public Error {
public:
    enum class Kind { initFailed, loadFailed, unrecognizedFormat, fileTooLarge };

    static MikmodError initFailed(QString message);
    static MikmodError loadFailed(QString message);
    static MikmodError unrecognizedFormat() { return MikmodError(Kind::unrecognizedFormat, QString()); }
    static MikmodError fileTooLarge() { return MikmodError(Kind::fileTooLarge, QString()); }
    // The error a helper sent as its kind and message.
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
