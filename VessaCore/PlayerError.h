#pragma once

#include "VessaCore/Error.h"

#include <exception>

namespace vessa {

// Failures of the Player's own making. Failures of the output or of a seek
// handler reach the caller unchanged; only a buffer the output refused while
// scheduling is wrapped here, with the output's error as `underlying`.
class PlayerError : public Error {
public:
    enum class Kind { schedulingFailed, seekNotSupported, noFormatAvailable };

    static PlayerError schedulingFailed(std::exception_ptr underlying);
    static PlayerError seekNotSupported();
    static PlayerError noFormatAvailable();

    Kind kind() const { return m_kind; }
    // The output's error for schedulingFailed; empty otherwise.
    std::exception_ptr underlying() const { return m_underlying; }

    QString description() const override;

private:
    PlayerError(Kind kind, std::exception_ptr underlying);

    Kind m_kind;
    std::exception_ptr m_underlying;
};

} // namespace vessa
