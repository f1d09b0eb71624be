#include "RaskoLocalFile/LibraryOrder.h"

#include <algorithm>
#include <numeric>

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

std::vector<qsizetype> LibraryOrder::order(const std::vector<Key>& keys)
{
    std::vector<long double> discTrack(keys.size());
    std::transform(keys.begin(), keys.end(), discTrack.begin(), discTrackKey);
    std::vector<qsizetype> positions(keys.size());
    std::iota(positions.begin(), positions.end(), qsizetype(0));
    std::sort(positions.begin(), positions.end(), [&keys, &discTrack](qsizetype a, qsizetype b) {
        const Key& x = keys[size_t(a)];
        const Key& y = keys[size_t(b)];
        if (const int artist = compareIgnoringAsciiCase(x.artist, y.artist))
            return artist < 0;
        if (const int album = compareIgnoringAsciiCase(x.album, y.album))
            return album < 0;
        if (discTrack[size_t(a)] != discTrack[size_t(b)])
            return discTrack[size_t(a)] < discTrack[size_t(b)];
        if (const int title = compareIgnoringAsciiCase(x.title, y.title))
            return title < 0;
        return x.id < y.id;
    });
    return positions;
}

} // namespace vessa
