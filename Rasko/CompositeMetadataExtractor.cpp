#include "Rasko/CompositeMetadataExtractor.h"

namespace vessa {

CompositeMetadataExtractor::CompositeMetadataExtractor(QList<Entry> extractors, MetadataExtractorPtr fallback)
    : m_extractors(std::move(extractors)), m_fallback(std::move(fallback))
{
}

MetadataExtractor* CompositeMetadataExtractor::chosen(const SourceLocator& locator) const
{
    // Data and a path without an extension go straight to the fallback.
    const std::optional<QString> extension = locator.inferredFileExtension();
    if (extension && !extension->isEmpty()) {
        for (const Entry& entry : m_extractors) {
            if (entry.extractor && entry.extensions.contains(*extension))
                return entry.extractor.get();
        }
    }
    return m_fallback.get();
}

TrackMetadata CompositeMetadataExtractor::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    MetadataExtractor* extractor = chosen(locator);
    return extractor ? extractor->extract(locator, subTrackIndex) : TrackMetadata();
}

TrackMetadata CompositeMetadataExtractor::extractWithStop(const SourceLocator& locator,
                                                          std::optional<qint64> subTrackIndex, std::stop_token stop)
{
    MetadataExtractor* extractor = chosen(locator);
    return extractor ? extractor->extractWithStop(locator, subTrackIndex, std::move(stop)) : TrackMetadata();
}

} // namespace vessa
