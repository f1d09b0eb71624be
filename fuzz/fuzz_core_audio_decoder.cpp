// The common formats through FFmpeg: the tag reader on a file, and a brief
// decode from memory (as a ZIP member plays) or, when the options say so,
// from the file.

#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "fuzz/DecoderFuzzing.h"

using namespace vessa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CoreAudioDecoderPlugin plugin(4096);
    const auto [options, bytes] = fuzz::DecoderFuzzInput(data, size, plugin.supportedExtensions());

    const SourceLocator file = SourceLocator::fileURL(fuzz::writeScratchFile(bytes, options.fileName()));
    fuzz::extractTags(plugin, file, options.subTrackIndex);
    fuzz::decodeBriefly(plugin, options.infiniteLoop ? file : SourceLocator::data(bytes), options);
    return 0;
}
