#pragma once

#include <QString>

#include <functional>

namespace vessa::test {

// The description() of the `Error` that `operation` raises, or "no failure"
// when it succeeds. Other exceptions pass through.
template <typename Error>
QString failureOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const Error& error) {
        return error.description();
    }
    return QStringLiteral("no failure");
}

} // namespace vessa::test
