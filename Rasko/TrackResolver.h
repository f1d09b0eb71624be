#pragma once

#include "Rasko/MetadataExtractor.h"
#include "Rasko/PluginRegistry.h"
#include "Rasko/ResolvedTrack.h"
#include "Rasko/TrackResolverError.h"

#include <QString>

#include <optional>

namespace vessa {

// Turns a TrackRef into a ResolvedTrack: a playlist entry's file hint first
// (at play time), else the first registered source that accepts the
// reference, then the first registered decoder for the extension the source
// reports. Keeps nothing between calls.
//
// Threads: every operation blocks (existence checks, the source's lookup, tag
// reading), so call it off the main thread; any number may run at once. The
// resolver has no mutable state and no lock of its own.
class TrackResolver {
public:
    // `metadataExtractor` may be null: tracks then have no tags.
    TrackResolver(PluginRegistryPtr registry, MetadataExtractorPtr metadataExtractor);

    // The full resolution with tags (read with the reference's sub-track
    // index). Throws TrackResolverError, or the source's or the extractor's
    // own error unchanged. Logs nothing.
    ResolvedTrack resolve(const TrackRef& ref) const;

    // The play-time resolution, without tags: the metadata is always empty.
    ResolvedTrack resolveForPlayback(const TrackRef& ref) const;
    // As above, trying the file hint first; a hint that leads to no
    // decodable file is not an error, the source chain then decides.
    ResolvedTrack resolveForPlayback(const TrackRef& ref, const std::optional<QString>& fileHint,
                                     const std::optional<QString>& playlistFilePath) const;

    // The tags of a location; empty without an extractor. Throws the
    // extractor's error unchanged (CancellationError when an extractor that
    // watches `stop` was stopped).
    TrackMetadata loadMetadata(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                               std::stop_token stop = {}) const;

    const PluginRegistryPtr& registry() const { return m_registry; }
    const MetadataExtractorPtr& metadataExtractor() const { return m_metadataExtractor; }

private:
    enum class FailureLogging { quiet, logged };

    // The first accepting source, then the first decoder for the extension it
    // reports; without tags. Logs a failure as an error when asked to.
    ResolvedTrack resolveThroughPlugins(const TrackRef& ref, FailureLogging logging) const;
    std::optional<ResolvedTrack> tryFileHint(const QString& hint, const TrackRef& ref,
                                             const std::optional<QString>& playlistFilePath) const;

    const PluginRegistryPtr m_registry;
    const MetadataExtractorPtr m_metadataExtractor;
};

using TrackResolverPtr = std::shared_ptr<TrackResolver>;

} // namespace vessa
