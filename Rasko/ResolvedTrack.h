#pragma once

#include "Rasko/DecoderPlugin.h"
#include "Rasko/SourceLocator.h"
#include "Rasko/SourcePlugin.h"
#include "Rasko/TrackMetadata.h"
#include "VessaCore/TrackRef.h"

namespace vessa {

// A TrackRef resolved to its source, decoder, location and tags. Built only
// by the TrackResolver.
struct ResolvedTrack {
    TrackRef ref;
    TrackMetadata metadata;
    SourcePluginPtr source;
    DecoderPluginPtr decoder;
    SourceLocator locator;
    QString fileExtension;

    ResolvedTrack(TrackRef ref, TrackMetadata metadata, SourcePluginPtr source, DecoderPluginPtr decoder,
                  SourceLocator locator, QString fileExtension)
        : ref(std::move(ref)),
          metadata(std::move(metadata)),
          source(std::move(source)),
          decoder(std::move(decoder)),
          locator(std::move(locator)),
          fileExtension(std::move(fileExtension))
    {
    }
};

} // namespace vessa
