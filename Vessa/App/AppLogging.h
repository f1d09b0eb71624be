#pragma once

#include "VessaCore/Logging.h"

namespace vessa {

// The application's shared log categories, "com.tornwick.vessa.<area>".
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcNowPlaying)
Q_DECLARE_LOGGING_CATEGORY(lcPlaylistContent)
Q_DECLARE_LOGGING_CATEGORY(lcCloudFolderWatcher)

} // namespace vessa
