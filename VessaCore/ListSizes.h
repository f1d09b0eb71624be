#pragma once

#include <QtGlobal>

namespace vessa {

// The sizes at which work on a list changes its way, named once for every
// place that decides by them.
struct ListSizes {
    // A list of at least this many entries (tracks, their references, their
    // sort and search keys) is large. Working out a track list's keys then
    // takes long enough for the window to feel it, so they are worked out on
    // a background thread, its texts folded beside their collation; a
    // smaller list's (most playlists) take too little to be worth handing
    // off. Freeing a large list also leaves enough behind to pay for a walk
    // through every heap (FreedMemory::releaseAfter).
    static constexpr qsizetype largeList = 5000;

    // A filter's folded search text of at least this many bytes (a library
    // of some 40,000 tracks) is searched in `searchPieces` pieces side by
    // side. The C library's search takes a few milliseconds for a smaller
    // one, unnoticed between two keystrokes; a larger one grows with the
    // library.
    static constexpr qsizetype searchSplitBytes = 4 * 1024 * 1024;
    // A search is bound by memory bandwidth, which a few cores fill: more
    // pieces would only take threads that a scan or the library's reading
    // may be using.
    static constexpr qsizetype searchPieces = 4;
};

} // namespace vessa
