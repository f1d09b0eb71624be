#include "RaskoLocalFile/LibraryOrder.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace vessa {

namespace {

char16_t foldedAsciiCase(char16_t unit)
{
    return unit >= u'A' && unit <= u'Z' ? char16_t(unit + (u'a' - u'A')) : unit;
}

// UTF-16 units reordered so that comparing them compares code points:
// surrogates (code points above U+FFFF) go after U+E000...U+FFFF.
char16_t inCodePointOrder(char16_t unit)
{
    if (unit < 0xD800)
        return unit;
    return unit >= 0xE000 ? char16_t(unit - 0x800) : char16_t(unit + 0x2000);
}

// Integer arithmetic that cannot overflow for any stored number; SQLite
// turns an overflowing product into a real, which this matches closely.
long double discTrackKey(const MediaDatabase::TrackRow& row)
{
    return (long double)row.discNumber.value_or(1) * 1000 + (long double)row.trackNumber.value_or(0);
}

} // namespace

int LibraryOrder::compareIgnoringAsciiCase(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = foldedAsciiCase(a[i].unicode());
        const char16_t y = foldedAsciiCase(b[i].unicode());
        if (x != y)
            return inCodePointOrder(x) < inCodePointOrder(y) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool LibraryOrder::before(const MediaDatabase::TrackRow& a, const MediaDatabase::TrackRow& b)
{
    if (const int artist = compareIgnoringAsciiCase(a.artist, b.artist))
        return artist < 0;
    if (const int album = compareIgnoringAsciiCase(a.album, b.album))
        return album < 0;
    const long double keyA = discTrackKey(a);
    const long double keyB = discTrackKey(b);
    if (keyA != keyB)
        return keyA < keyB;
    if (const int title = compareIgnoringAsciiCase(a.title, b.title))
        return title < 0;
    return a.id < b.id;
}

void LibraryOrder::sort(QList<MediaDatabase::TrackRow>& rows)
{
    // Positions are sorted, not the rows, which are large to move.
    std::vector<qsizetype> order(size_t(rows.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::sort(order.begin(), order.end(), [&rows](qsizetype a, qsizetype b) { return before(rows[a], rows[b]); });
    QList<MediaDatabase::TrackRow> sorted;
    sorted.reserve(rows.size());
    for (const qsizetype position : order)
        sorted.append(std::move(rows[position]));
    rows = std::move(sorted);
}

} // namespace vessa
