// M3U and M3U8 import of arbitrary bytes, in both text modes, and the
// imported entries surviving the own playlist format.

#include "Parvik/M3UPlaylistFile.h"
#include "VessaCore/Error.h"
#include "fuzz/PlaylistRoundTrip.h"

using namespace vessa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    // Option byte: bit 0 reads the bytes as ".m3u8" (UTF-8 only).
    const bool isUTF8Only = (input.takeByte() & 1) != 0;
    Playlist playlist;
    try {
        playlist = M3UPlaylistFile::parse(input.rest(), QStringLiteral("Fuzz"), isUTF8Only, std::nullopt);
    } catch (const Error&) {
        return 0;
    }
    fuzz::checkPlaylistRoundTrip(playlist);
    return 0;
}
