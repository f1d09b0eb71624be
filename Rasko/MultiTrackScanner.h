#pragma once

#include "Rasko/ScannedSubTrack.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <stop_token>

namespace vessa {

// Lists the sub-tracks of a file that holds several tracks. Thread-safe.
class MultiTrackScanner {
public:
    virtual ~MultiTrackScanner() = default;

    virtual bool canScan(const QString& fileExtension) const = 0;
    // Receives the file's complete bytes; throws when they cannot be read as such a file.
    virtual QList<ScannedSubTrack> scanTracks(const QByteArray& data, const QString& fileExtension) = 0;
    // The same, ended early when `stop` is requested (by default it is not watched).
    virtual QList<ScannedSubTrack> scanTracksWithStop(const QByteArray& data, const QString& fileExtension,
                                                      std::stop_token stop)
    {
        (void)stop;
        return scanTracks(data, fileExtension);
    }
};

using MultiTrackScannerPtr = std::shared_ptr<MultiTrackScanner>;

} // namespace vessa
