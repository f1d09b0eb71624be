#pragma once

#include "Vessa/App/Updates/AppcastItem.h"
#include "Vessa/App/Updates/UpdateCheckError.h"

#include <QString>

#include <optional>

namespace vessa {

// What one update check found.
struct UpdateCheckResult {
    // Who asked: the user from the menu, or the once-a-day automatic check.
    enum class Trigger { user, automatic };
    enum class Outcome { updateAvailable, upToDate, failed };

    Trigger trigger = Trigger::user;
    Outcome outcome = Outcome::failed;
    // The running program's version, as it names itself.
    QString currentVersion;
    // The newest release of the feed: the update when one is available; also
    // set when up to date, unless the feed lists no release at all.
    std::optional<AppcastItem> newest;
    // Why the check failed; set only for Outcome::failed.
    std::optional<UpdateCheckError> error;
};

} // namespace vessa
