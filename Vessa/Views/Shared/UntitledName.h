#pragma once

#include <QString>

#include <functional>

namespace vessa {

// The name of something new the user has not named yet: "Untitled", else
// "Untitled 2", "Untitled 3", ... : the first one `isTaken` lets through
// (compared as the caller compares, exactly as a rule).
QString firstFreeUntitledName(const std::function<bool(const QString& name)>& isTaken);

} // namespace vessa
