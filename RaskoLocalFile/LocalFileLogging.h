#pragma once

#include <QLoggingCategory>

namespace vessa {

// The local-file source's log categories: com.tornwick.rasko.localfile.scan,
// com.tornwick.rasko.localfile.resolve and com.tornwick.rasko.localfile.watcher.
Q_DECLARE_LOGGING_CATEGORY(lcLocalFileScan)
Q_DECLARE_LOGGING_CATEGORY(lcLocalFileResolve)
Q_DECLARE_LOGGING_CATEGORY(lcLocalFileWatcher)

} // namespace vessa
