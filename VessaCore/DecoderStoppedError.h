#pragma once

#include "VessaCore/Error.h"

#include <QString>

#include <optional>

namespace vessa {

// A decoder helper that did not finish an operation: it crashed, ran out of
// its time or memory, or could not be started. description() names the file.
// It says nothing sure about the file itself (a busy or broken system gives it
// too), so a scan does not remember the file as refused.
class DecoderStoppedError : public Error {
public:
    // Without a name (bytes held in memory) the text speaks of "the file".
    explicit DecoderStoppedError(std::optional<QString> fileName) : m_fileName(std::move(fileName)) {}

    const std::optional<QString>& fileName() const { return m_fileName; }
    QString description() const override;

private:
    std::optional<QString> m_fileName;
};

} // namespace vessa
