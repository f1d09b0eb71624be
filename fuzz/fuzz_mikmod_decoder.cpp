// Tracker modules through the plug-in's public faces: the tag reader and a
// brief decode (the library tells the format from the content).

#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "fuzz/DecoderFuzzing.h"

using namespace vessa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static MikmodDecoderPlugin plugin;
    const auto [options, bytes] = fuzz::DecoderFuzzInput(data, size, plugin.supportedExtensions());

    fuzz::extractTags(plugin, SourceLocator::data(bytes), options.subTrackIndex);
    fuzz::decodeBriefly(plugin, SourceLocator::data(bytes), options);
    return 0;
}
