#pragma once

#include "Rasko/DestinationFileInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace vessa {

// Stores whole files under plain names (the playlist files). Every operation
// blocks and throws on failure.
class DestinationPlugin {
public:
    virtual ~DestinationPlugin() = default;

    virtual QString name() const = 0;
    // The stored files with this extension (without the dot).
    virtual QList<DestinationFileInfo> list(const QString& fileExtension) = 0;
    virtual QByteArray read(const QString& fileID) = 0;
    // Replaces an existing file.
    virtual void write(const QString& fileID, const QByteArray& data) = 0;
    virtual void remove(const QString& fileID) = 0;
    // The temporary files that writes of files with this extension left
    // behind when they were interrupted (a crash, a power cut), with their
    // dates; remove() deletes them. A write still running has one too. None
    // for a store whose writes leave nothing behind.
    virtual QList<DestinationFileInfo> listInterruptedWrites(const QString& fileExtension)
    {
        Q_UNUSED(fileExtension);
        return {};
    }
};

using DestinationPluginPtr = std::shared_ptr<DestinationPlugin>;

} // namespace vessa
