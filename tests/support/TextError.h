#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa::test {

// An error whose description is the given text.
class TextError : public Error {
public:
    explicit TextError(QString text) : m_text(std::move(text)) {}
    QString description() const override { return m_text; }

private:
    QString m_text;
};

} // namespace vessa::test
