#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Failures of the tracker-module decoder. `message` is libmikmod's own error
// text, or "Unknown error" when the library gives none.
class MikmodError : public Error {
public:
    enum class Kind { initFailed, loadFailed };

    static MikmodError initFailed(QString message);
    static MikmodError loadFailed(QString message);

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    MikmodError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind;
    QString m_message;
};

} // namespace vessa
