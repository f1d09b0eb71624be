// Chip music through the plug-in's public faces: the sub-track scan, the tag
// reader and a brief decode of the chosen sub-track.

#include "RaskoGME/GMEDecoderPlugin.h"
#include "VessaCore/Error.h"
#include "fuzz/DecoderFuzzing.h"

using namespace vessa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static GMEDecoderPlugin plugin;
    const auto [options, bytes] = fuzz::DecoderFuzzInput(data, size, plugin.supportedExtensions());

    try {
        plugin.scanTracks(bytes, options.extension.value_or(QString()));
    } catch (const Error&) {
    }
    fuzz::extractTags(plugin, SourceLocator::fileURL(fuzz::writeScratchFile(bytes, options.fileName())),
                      options.subTrackIndex);
    fuzz::decodeBriefly(plugin, SourceLocator::data(bytes), options);
    return 0;
}
