#pragma once

#include <QString>

namespace vessa {

// Cloud-synchronised folders: a sync client may keep only a placeholder of a
// file whose content it evicted, and the library must not index such a file
// until its content is back. On this system the folders that sync clients
// keep hold every file whole, so nothing is ever evicted and nothing needs to
// be downloaded.
class CloudDownload {
public:
    // True when the file's content is not on disk and a download was asked
    // for (the caller then leaves the file out of this scan). Always false here.
    static bool triggerDownloadIfEvicted(const QString& path);
};

} // namespace vessa
