#include "RaskoLocalFile/LibraryOrder.h"

#include <algorithm>

namespace vessa {

namespace {

unsigned char foldedAsciiCase(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

// Wide enough that no stored numbers overflow; SQLite turns an overflowing
// product into a real, which this matches closely.
long double discTrackKey(const LibraryOrder::Key& key)
{
    return (long double)key.discNumber.value_or(1) * 1000 + (long double)key.trackNumber.value_or(0);
}

} // namespace

int LibraryOrder::compareIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    const qsizetype common = std::min(a.size(), b.size());
    // Equal bytes are skipped at full speed; only where they differ does case count.
    for (qsizetype i = 0; i < common; ++i) {
        if (x[i] == y[i])
            continue;
        const unsigned char foldedX = foldedAsciiCase(x[i]);
        const unsigned char foldedY = foldedAsciiCase(y[i]);
        if (foldedX != foldedY)
            return foldedX < foldedY ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void LibraryOrder::sortAlbums(std::vector<qsizetype>& positions, const std::vector<Key>& keys)
{
    auto run = positions.begin();
    while (run != positions.end()) {
        const Key& first = keys[size_t(*run)];
        const auto runEnd = std::find_if(run + 1, positions.end(), [&keys, &first](qsizetype position) {
            const Key& key = keys[size_t(position)];
            return compareIgnoringAsciiCase(key.artist, first.artist) != 0
                   || compareIgnoringAsciiCase(key.album, first.album) != 0;
        });
        if (runEnd - run > 1)
            std::stable_sort(run, runEnd, [&keys](qsizetype a, qsizetype b) {
                return discTrackKey(keys[size_t(a)]) < discTrackKey(keys[size_t(b)]);
            });
        run = runEnd;
    }
}

} // namespace vessa
