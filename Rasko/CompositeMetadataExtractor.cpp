#include "Rasko/CompositeMetadataExtractor.h"

#include "VessaCore/PathExtension.h"

namespace vessa {

namespace {

// The extension as written; nothing for data and for a path without one.
std::optional<QString> fileExtension(const SourceLocator& locator)
{
    if (!locator.isFileURL())
        return std::nullopt;
    QString extension = pathExtension(locator.path());
    if (extension.isEmpty())
        return std::nullopt;
    return extension;
}

} // namespace

CompositeMetadataExtractor::CompositeMetadataExtractor(QList<Entry> extractors, MetadataExtractorPtr fallback)
    : m_extractors(std::move(extractors)), m_fallback(std::move(fallback))
{
}

TrackMetadata CompositeMetadataExtractor::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    if (const std::optional<QString> extension = fileExtension(locator)) {
        const QString lowered = extension->toLower();
        for (const Entry& entry : m_extractors) {
            if (entry.extractor && entry.extensions.contains(lowered))
                return entry.extractor->extract(locator, subTrackIndex);
        }
    }
    if (m_fallback)
        return m_fallback->extract(locator, subTrackIndex);
    return TrackMetadata();
}

} // namespace vessa
