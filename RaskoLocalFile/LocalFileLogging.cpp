#include "RaskoLocalFile/LocalFileLogging.h"

#include "VessaCore/Logging.h"

namespace vessa {

VESSA_LOGGING_CATEGORY(lcLocalFileScan, "rasko.localfile", "scan")
VESSA_LOGGING_CATEGORY(lcLocalFileResolve, "rasko.localfile", "resolve")
VESSA_LOGGING_CATEGORY(lcLocalFileWatcher, "rasko.localfile", "watcher")

} // namespace vessa
