#include "Rasko/PluginRegistry.h"

namespace vessa {

PluginRegistry::PluginRegistry(QList<SourcePluginPtr> sources, QList<DecoderPluginPtr> decoders)
{
    for (SourcePluginPtr& source : sources) {
        if (source)
            m_lists.sources.append(std::move(source));
    }
    for (DecoderPluginPtr& decoder : decoders) {
        if (!decoder)
            continue;
        QSet<QString> extensions = decoder->supportedExtensions();
        appendDecoderLocked(m_lists, std::move(decoder), std::move(extensions));
    }
}

void PluginRegistry::appendDecoderLocked(Lists& lists, DecoderPluginPtr decoder, QSet<QString> extensions)
{
    if (auto extractor = std::dynamic_pointer_cast<MetadataExtractor>(decoder))
        lists.metadataExtractors.append({std::move(extensions), std::move(extractor)});
    if (auto scanner = std::dynamic_pointer_cast<MultiTrackScanner>(decoder))
        lists.multiTrackScanners.append(std::move(scanner));
    lists.decoders.append(std::move(decoder));
}

void PluginRegistry::registerSource(SourcePluginPtr source)
{
    if (!source)
        return;
    std::lock_guard lock(m_mutex);
    m_lists.sources.append(std::move(source));
}

void PluginRegistry::registerDecoder(DecoderPluginPtr decoder)
{
    if (!decoder)
        return;
    // Read outside the lock: the plug-in's code never runs under it.
    QSet<QString> extensions = decoder->supportedExtensions();
    std::lock_guard lock(m_mutex);
    appendDecoderLocked(m_lists, std::move(decoder), std::move(extensions));
}

void PluginRegistry::registerDestination(DestinationPluginPtr destination)
{
    if (!destination)
        return;
    std::lock_guard lock(m_mutex);
    m_lists.destinations.append(std::move(destination));
}

QList<SourcePluginPtr> PluginRegistry::sources() const
{
    std::lock_guard lock(m_mutex);
    return m_lists.sources;
}

QList<DecoderPluginPtr> PluginRegistry::decoders() const
{
    std::lock_guard lock(m_mutex);
    return m_lists.decoders;
}

QList<DestinationPluginPtr> PluginRegistry::destinations() const
{
    std::lock_guard lock(m_mutex);
    return m_lists.destinations;
}

QList<MultiTrackScannerPtr> PluginRegistry::multiTrackScanners() const
{
    std::lock_guard lock(m_mutex);
    return m_lists.multiTrackScanners;
}

QSet<QString> PluginRegistry::allSupportedExtensions() const
{
    QSet<QString> extensions;
    for (const DecoderPluginPtr& decoder : decoders())
        extensions.unite(decoder->supportedExtensions());
    return extensions;
}

SourcePluginPtr PluginRegistry::source(const TrackRef& ref) const
{
    for (const SourcePluginPtr& source : sources()) {
        if (source->canHandle(ref))
            return source;
    }
    return nullptr;
}

DecoderPluginPtr PluginRegistry::decoder(const QString& fileExtension) const
{
    for (const DecoderPluginPtr& decoder : decoders()) {
        if (decoder->canDecode(fileExtension))
            return decoder;
    }
    return nullptr;
}

CompositeMetadataExtractorPtr PluginRegistry::buildCompositeMetadataExtractor() const
{
    QList<CompositeMetadataExtractor::Entry> extractors;
    {
        std::lock_guard lock(m_mutex);
        extractors = m_lists.metadataExtractors;
    }
    if (extractors.isEmpty())
        return std::make_shared<CompositeMetadataExtractor>(QList<CompositeMetadataExtractor::Entry>(), nullptr);
    MetadataExtractorPtr fallback = extractors.takeLast().extractor;
    return std::make_shared<CompositeMetadataExtractor>(std::move(extractors), std::move(fallback));
}

} // namespace vessa
