#pragma once

#include "VessaCore/Logging.h"

namespace vessa {

// "com.tornwick.oblin.playback": the play context's log lines.
Q_DECLARE_LOGGING_CATEGORY(lcOblinPlayback)

} // namespace vessa
