#pragma once

#include <QtGlobal>

namespace vessa {

// How far a library scan has got: `completed` files of the `total` this scan
// reads. Reported once per file, with `completed` running from 1 to `total`.
struct ScanProgress {
    qint64 completed = 0;
    qint64 total = 0;

    friend bool operator==(const ScanProgress&, const ScanProgress&) = default;
};

} // namespace vessa
