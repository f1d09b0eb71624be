#pragma once

#include <QtGlobal>

namespace vessa {

// How far the library's running scan has got, as the app state shows it:
// `completed` files of the `total` the scan reads.
struct LibraryScanProgress {
    qint64 completed = 0;
    qint64 total = 0;

    friend bool operator==(const LibraryScanProgress&, const LibraryScanProgress&) = default;
};

} // namespace vessa
