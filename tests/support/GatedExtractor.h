#pragma once

#include "Rasko/MetadataExtractor.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vessa::test {

// Holds every extraction (after the first `passing` ones) until released,
// and counts how many overlap.
struct GatedExtractor : MetadataExtractor {
    TrackMetadata extract(const SourceLocator&, std::optional<qint64>) override
    {
        std::unique_lock lock(mutex);
        if (++calls <= passing)
            return {};
        maxInFlight = std::max(maxInFlight, ++inFlight);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(20), [this] { return released; });
        --inFlight;
        return {};
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    bool waitForInFlight(int count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return inFlight >= count; });
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    int passing = 0;                              // set before the first call
    int inFlight = 0, calls = 0, maxInFlight = 0; // calls and maxInFlight: read once the scan has ended
};

} // namespace vessa::test
