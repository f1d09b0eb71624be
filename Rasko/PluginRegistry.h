#pragma once

#include "Rasko/CompositeMetadataExtractor.h"
#include "Rasko/DecoderPlugin.h"
#include "Rasko/DestinationPlugin.h"
#include "Rasko/MultiTrackScanner.h"
#include "Rasko/SourcePlugin.h"

#include <QList>
#include <QSet>
#include <QString>

#include <mutex>

namespace vessa {

// Collects the application's plug-ins and looks them up: sources by track
// reference, decoders by file extension. Registration order breaks every tie:
// the first source or decoder that accepts wins, and the last registered
// decoder that is also a metadata extractor is the composite's fallback.
// Nothing is ever removed.
//
// Threads: any thread may call anything at any time. One mutex guards the
// lists; it is held only to copy or append to them, never while a plug-in
// runs, so a plug-in's canHandle, canDecode or supportedExtensions may even
// call back into the registry. Lookups hand out shared pointers, and the
// caller runs the plug-in's blocking operations itself.
class PluginRegistry {
public:
    // Sources are kept in the order given; each decoder is registered as by
    // registerDecoder, in order.
    PluginRegistry(QList<SourcePluginPtr> sources, QList<DecoderPluginPtr> decoders);
    PluginRegistry(const PluginRegistry&) = delete;
    PluginRegistry& operator=(const PluginRegistry&) = delete;

    // Each appends; a null pointer is ignored.
    void registerSource(SourcePluginPtr source);
    // Also registers the same object as a metadata extractor (for the
    // extensions it supports now) and as a multi-track scanner, if it is one.
    void registerDecoder(DecoderPluginPtr decoder);
    void registerDestination(DestinationPluginPtr destination);

    // Copies, in registration order (cheap: they share data until written).
    QList<SourcePluginPtr> sources() const;
    QList<DecoderPluginPtr> decoders() const;
    QList<DestinationPluginPtr> destinations() const;
    QList<MultiTrackScannerPtr> multiTrackScanners() const;

    // The union of every registered decoder's extensions, read now.
    QSet<QString> allSupportedExtensions() const;

    // The first source whose canHandle accepts the reference; null for none.
    SourcePluginPtr source(const TrackRef& ref) const;
    // The first decoder whose canDecode accepts the extension as given (the
    // decoder decides about letter case); null for none.
    DecoderPluginPtr decoder(const QString& fileExtension) const;

    // A snapshot over the extractors registered so far: all but the last are
    // chosen by extension, the last is the fallback. Later registrations do
    // not reach it.
    CompositeMetadataExtractorPtr buildCompositeMetadataExtractor() const;

private:
    struct Lists {
        QList<SourcePluginPtr> sources;
        QList<DecoderPluginPtr> decoders;
        QList<DestinationPluginPtr> destinations;
        QList<CompositeMetadataExtractor::Entry> metadataExtractors;
        QList<MultiTrackScannerPtr> multiTrackScanners;
    };

    // Appends the decoder and what else it is to `lists`; the caller holds
    // the mutex (or owns `lists` alone).
    static void appendDecoderLocked(Lists& lists, DecoderPluginPtr decoder, QSet<QString> extensions);

    mutable std::mutex m_mutex;
    Lists m_lists;
};

using PluginRegistryPtr = std::shared_ptr<PluginRegistry>;

} // namespace vessa
