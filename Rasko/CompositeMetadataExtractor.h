#pragma once

#include "Rasko/MetadataExtractor.h"

#include <QList>
#include <QSet>
#include <QString>

namespace vessa {

// Hands each request to the extractor registered for the location's file
// extension, else to the fallback; without a fallback the tags are empty.
// Unchanging after construction, so any number of threads may use it at once.
class CompositeMetadataExtractor final : public MetadataExtractor {
public:
    // An extractor and the lower-case extensions it is chosen for.
    struct Entry {
        QSet<QString> extensions;
        MetadataExtractorPtr extractor;
    };

    CompositeMetadataExtractor(QList<Entry> extractors, MetadataExtractorPtr fallback);

    // Blocks while the chosen extractor reads; its error is passed on
    // unchanged and the fallback is then not tried. Data locators always go
    // to the fallback.
    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override;
    // The same, with the stop handed to the chosen extractor.
    TrackMetadata extractWithStop(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                  std::stop_token stop) override;

    const QList<Entry>& extractors() const { return m_extractors; }
    const MetadataExtractorPtr& fallback() const { return m_fallback; }

private:
    // The extractor for the location; null when there is none.
    MetadataExtractor* chosen(const SourceLocator& locator) const;

    const QList<Entry> m_extractors;
    const MetadataExtractorPtr m_fallback;
};

using CompositeMetadataExtractorPtr = std::shared_ptr<CompositeMetadataExtractor>;

} // namespace vessa
