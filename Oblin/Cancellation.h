#pragma once

#include "VessaCore/Error.h"

#include <exception>

namespace vessa {

// Whether the failure marks a superseded or cancelled operation.
inline bool isCancellation(const std::exception_ptr& error)
{
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
    }
    return false;
}

} // namespace vessa
