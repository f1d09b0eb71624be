#pragma once

#include "Rasko/SourceLocator.h"
#include "Rasko/TrackMetadata.h"

#include <memory>
#include <optional>

namespace vessa {

// Reads a location's tags. Thread-safe and blocking; throws on failure.
class MetadataExtractor {
public:
    virtual ~MetadataExtractor() = default;

    virtual TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) = 0;
};

using MetadataExtractorPtr = std::shared_ptr<MetadataExtractor>;

} // namespace vessa
