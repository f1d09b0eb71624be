#pragma once

#include "Rasko/ScannedTrack.h"
#include "VessaCore/TrackRef.h"

#include <QList>

#include <memory>
#include <stop_token>

namespace vessa {

// How a play queue loaded from a list of library tracks (a music folder's
// tracks, a filter, a sort) is made again from a new library, so that a
// library change keeps playing what that list showed instead of the whole
// library. The list that loads the queue describes itself with one; the
// music library asks it after each library change.
//
// Threads: queueFor() runs on a background thread and only reads the order
// and the library it is given.
class LibraryQueueOrder {
public:
    virtual ~LibraryQueueOrder() = default;
    // The tracks of `library` the list would show, in its order. A stop
    // request may end the work early with any result.
    virtual QList<TrackRef> queueFor(const QList<ScannedTrack>& library, std::stop_token stop) const = 0;
};

using LibraryQueueOrderPtr = std::shared_ptr<const LibraryQueueOrder>;

} // namespace vessa
