#include "RaskoLocalFile/CloudDownload.h"

namespace vessa {

bool CloudDownload::triggerDownloadIfEvicted(const QString& path)
{
    Q_UNUSED(path);
    return false;
}

} // namespace vessa
