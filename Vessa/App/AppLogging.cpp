#include "Vessa/App/AppLogging.h"

namespace vessa {

VESSA_LOGGING_CATEGORY(lcApp, "vessa", "App")
VESSA_LOGGING_CATEGORY(lcUi, "vessa", "ui")
VESSA_LOGGING_CATEGORY(lcNowPlaying, "vessa", "nowplaying")
VESSA_LOGGING_CATEGORY(lcPlaylistContent, "vessa", "playlist-content")
VESSA_LOGGING_CATEGORY(lcCloudFolderWatcher, "vessa", "cloud-folder-watcher")

} // namespace vessa
