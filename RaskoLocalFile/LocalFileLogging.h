#pragma once

#include <QLoggingCategory>

// The local-file source's log categories: com.tornwick.rasko.localfile.scan
// and com.tornwick.rasko.localfile.resolve.
Q_DECLARE_LOGGING_CATEGORY(lcLocalFileScan)
Q_DECLARE_LOGGING_CATEGORY(lcLocalFileResolve)
