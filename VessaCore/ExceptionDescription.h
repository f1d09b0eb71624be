#pragma once

#include <QString>

#include <exception>

namespace vessa {

// The English text of a caught exception: description() of a vessa::Error,
// what() of any other std::exception, and a fixed text for anything else.
QString describeException(const std::exception_ptr& error);

} // namespace vessa
