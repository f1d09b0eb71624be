// The own playlist format: parsing arbitrary bytes, and a parsed playlist
// written and parsed again giving the same entries.

#include "Parvik/PlaylistFile.h"
#include "VessaCore/Error.h"
#include "fuzz/PlaylistRoundTrip.h"

using namespace vessa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Playlist playlist;
    try {
        playlist = PlaylistFile::parse(fuzz::FuzzInput(data, size).rest(), QStringLiteral("Fuzz"));
    } catch (const Error&) {
        return 0;
    }
    fuzz::checkPlaylistRoundTrip(playlist);
    return 0;
}
