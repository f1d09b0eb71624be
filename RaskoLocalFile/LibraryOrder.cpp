#include "RaskoLocalFile/LibraryOrder.h"

#include <algorithm>
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
    const char16_t* x = a.utf16();
    const char16_t* y = b.utf16();
    const qsizetype common = std::min(a.size(), b.size());
    // Equal units are skipped at full speed; only where they differ does case count.
    for (qsizetype i = 0; i < common; ++i) {
        if (x[i] == y[i])
            continue;
        const char16_t foldedX = foldedAsciiCase(x[i]);
        const char16_t foldedY = foldedAsciiCase(y[i]);
        if (foldedX != foldedY)
            return inCodePointOrder(foldedX) < inCodePointOrder(foldedY) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void LibraryOrder::sort(QList<MediaDatabase::TrackRow>& rows)
{
    // The keys are sorted, not the rows, which are large to move: packed
    // together, the comparisons stay within a few cache lines.
    struct Key {
        QStringView artist;
        QStringView album;
        long double discTrack;
        QStringView title;
        qint64 id;
        qsizetype position;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const MediaDatabase::TrackRow& row = rows.at(i);
        keys.push_back({row.artist, row.album, discTrackKey(row), row.title, row.id, i});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (const int artist = compareIgnoringAsciiCase(a.artist, b.artist))
            return artist < 0;
        if (const int album = compareIgnoringAsciiCase(a.album, b.album))
            return album < 0;
        if (a.discTrack != b.discTrack)
            return a.discTrack < b.discTrack;
        if (const int title = compareIgnoringAsciiCase(a.title, b.title))
            return title < 0;
        return a.id < b.id;
    });
    QList<MediaDatabase::TrackRow> sorted;
    sorted.reserve(rows.size());
    for (const Key& key : keys)
        sorted.append(std::move(rows[key.position]));
    rows = std::move(sorted);
}

} // namespace vessa
