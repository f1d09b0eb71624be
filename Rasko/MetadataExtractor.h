#pragma once

#include "Rasko/SourceLocator.h"
#include "Rasko/TrackMetadata.h"

#include <memory>
#include <optional>
#include <stop_token>

namespace vessa {

// Reads a location's tags. Thread-safe and blocking; throws on failure.
class MetadataExtractor {
public:
    virtual ~MetadataExtractor() = default;

    virtual TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) = 0;
    // The same, ended early with CancellationError when `stop` is requested
    // (by default it is not watched).
    virtual TrackMetadata extractWithStop(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                          std::stop_token stop)
    {
        (void)stop;
        return extract(locator, subTrackIndex);
    }
};

using MetadataExtractorPtr = std::shared_ptr<MetadataExtractor>;

} // namespace vessa
