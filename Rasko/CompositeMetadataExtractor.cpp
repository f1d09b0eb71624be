#include "Rasko/CompositeMetadataExtractor.h"

namespace vessa {

CompositeMetadataExtractor::CompositeMetadataExtractor(QList<Entry> extractors, MetadataExtractorPtr fallback)
    : m_extractors(std::move(extractors)), m_fallback(std::move(fallback))
{
}

TrackMetadata CompositeMetadataExtractor::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    // Data and a path without an extension go straight to the fallback.
    const std::optional<QString> extension = locator.inferredFileExtension();
    if (extension && !extension->isEmpty()) {
        for (const Entry& entry : m_extractors) {
            if (entry.extractor && entry.extensions.contains(*extension))
                return entry.extractor->extract(locator, subTrackIndex);
        }
    }
    if (m_fallback)
        return m_fallback->extract(locator, subTrackIndex);
    return TrackMetadata();
}

} // namespace vessa
