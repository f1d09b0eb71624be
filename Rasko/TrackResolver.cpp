#include "Rasko/TrackResolver.h"

#include "Rasko/DirectFileSource.h"
#include "Rasko/FileHint.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/Logging.h"
#include "VessaCore/PathExtension.h"

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcResolve, "rasko", "resolve")

// Whether anything (a folder too) exists at the path. A NUL character
// cannot be part of a file name; such a path names nothing.
bool somethingExists(const QString& path)
{
    return !path.isEmpty() && !path.contains(QChar(u'\0')) && pathExists(path);
}

} // namespace

TrackResolver::TrackResolver(PluginRegistryPtr registry, MetadataExtractorPtr metadataExtractor)
    : m_registry(std::move(registry)), m_metadataExtractor(std::move(metadataExtractor))
{
}

ResolvedTrack TrackResolver::resolve(const TrackRef& ref) const
{
    ResolvedTrack track = resolveThroughPlugins(ref, FailureLogging::quiet);
    // The decoder is known before any tag is read.
    track.metadata = loadMetadata(track.locator, ref.subTrackIndex());
    return track;
}

ResolvedTrack TrackResolver::resolveForPlayback(const TrackRef& ref) const
{
    return resolveForPlayback(ref, std::nullopt, std::nullopt);
}

ResolvedTrack TrackResolver::resolveForPlayback(const TrackRef& ref, const std::optional<QString>& fileHint,
                                                const std::optional<QString>& playlistFilePath) const
{
    logDebug(lcResolve(), QStringLiteral("Resolving for playback: ") + ref.uri());

    if (fileHint) {
        if (std::optional<ResolvedTrack> hinted = tryFileHint(*fileHint, ref, playlistFilePath)) {
            logDebug(lcResolve(),
                     QStringLiteral("Resolved via file hint: ") + ref.uri() + QStringLiteral(" → ") + *fileHint);
            return std::move(*hinted);
        }
    }

    ResolvedTrack track = resolveThroughPlugins(ref, FailureLogging::logged);
    logDebug(lcResolve(), QStringLiteral("Resolved: ") + ref.uri() + QStringLiteral(" → ") + track.source->name() + u'/'
                              + track.decoder->name());
    return track;
}

ResolvedTrack TrackResolver::resolveThroughPlugins(const TrackRef& ref, FailureLogging logging) const
{
    const SourcePluginPtr source = m_registry->source(ref);
    if (!source) {
        if (logging == FailureLogging::logged)
            logError(lcResolve(), QStringLiteral("No source plugin for: ") + ref.uri());
        throw TrackResolverError::noSourcePlugin(ref);
    }
    SourceResult result = source->resolve(ref);
    DecoderPluginPtr decoder = m_registry->decoder(result.fileExtension);
    if (!decoder) {
        if (logging == FailureLogging::logged)
            logError(lcResolve(), QStringLiteral("No decoder for ") + ref.uri() + QStringLiteral(" (ext: ")
                                      + result.fileExtension + u')');
        throw TrackResolverError::noDecoderPlugin(ref, result.fileExtension);
    }
    return ResolvedTrack(ref, TrackMetadata(), source, std::move(decoder), std::move(result.locator),
                         std::move(result.fileExtension));
}

TrackMetadata TrackResolver::loadMetadata(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                          std::stop_token stop) const
{
    if (!m_metadataExtractor)
        return TrackMetadata();
    return m_metadataExtractor->extractWithStop(locator, subTrackIndex, std::move(stop));
}

std::optional<ResolvedTrack> TrackResolver::tryFileHint(const QString& hint, const TrackRef& ref,
                                                        const std::optional<QString>& playlistFilePath) const
{
    const std::optional<QString> path = FileHint::resolve(hint, playlistFilePath);
    if (!path) {
        if (FileHint::form(hint) == FileHint::Form::absolute)
            logDebug(lcResolve(), QStringLiteral("File hint is not a valid URL: ") + hint);
        else
            logDebug(lcResolve(), QStringLiteral("File hint is relative but no playlist URL provided: ") + hint);
        return std::nullopt;
    }
    if (!somethingExists(*path)) {
        logDebug(lcResolve(), QStringLiteral("File hint target does not exist: ") + *path);
        return std::nullopt;
    }
    const QString extension = pathExtension(*path).toLower();
    DecoderPluginPtr decoder = extension.isEmpty() ? nullptr : m_registry->decoder(extension);
    if (!decoder) {
        logDebug(lcResolve(), QStringLiteral("No decoder for file hint extension: ") + extension);
        return std::nullopt;
    }
    return ResolvedTrack(ref, TrackMetadata(), DirectFileSource::shared(), std::move(decoder),
                         SourceLocator::fileURL(*path), extension);
}

} // namespace vessa
