#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace vessa {

// One file held by a destination; `fileID` is its name with the extension.
struct DestinationFileInfo {
    QString fileID;
    QDateTime lastModified;
    std::optional<qint64> size;

    DestinationFileInfo() = default;
    DestinationFileInfo(QString fileID, QDateTime lastModified, std::optional<qint64> size)
        : fileID(std::move(fileID)), lastModified(std::move(lastModified)), size(size)
    {
    }
};

} // namespace vessa
