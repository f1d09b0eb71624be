#include "RaskoLocalFile/LibraryOrder.h"

#include "VessaCore/DiscTrackKey.h"

#include <QStringBuilder>

#include <algorithm>

namespace vessa {

namespace {

unsigned char foldedAsciiCase(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

// A text column compared as SQLite's NOCASE collation does.
QByteArray ignoringAsciiCase(const char* column)
{
    return QByteArray(column) + " COLLATE NOCASE";
}

// A number held within +/-bound, as DiscTrackKey holds it.
QByteArray held(const QByteArray& number, qint64 bound)
{
    return "MIN(MAX(" + number + ", " + QByteArray::number(-bound) + "), " + QByteArray::number(bound) + ")";
}

QByteArray sqlOf(LibraryOrder::Field field)
{
    switch (field) {
    case LibraryOrder::Field::artist: return ignoringAsciiCase("artist");
    case LibraryOrder::Field::album: return ignoringAsciiCase("album");
    case LibraryOrder::Field::discTrack:
        return held("COALESCE(disc_number, " + QByteArray::number(DiscTrackKey::discWithoutNumber) + ")",
                    DiscTrackKey::maximumDisc)
               + " * " + QByteArray::number(DiscTrackKey::keysPerDisc) + " + "
               + held("COALESCE(track_number, " + QByteArray::number(DiscTrackKey::trackWithoutNumber) + ")",
                      DiscTrackKey::maximumTrack);
    case LibraryOrder::Field::title: return ignoringAsciiCase("title");
    case LibraryOrder::Field::id: return QByteArrayLiteral("id");
    }
    return {};
}

} // namespace

QByteArray LibraryOrder::sql(Sql which)
{
    QByteArray terms;
    for (const Field field : fields) {
        if (field == Field::discTrack && which != Sql::order)
            continue;
        if (field == Field::id && which == Sql::lookupIndexColumns)
            continue;
        if (!terms.isEmpty())
            terms += ", ";
        terms += sqlOf(field);
    }
    return terms;
}

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

// The lookup index gives every field but the disc-track key, which comes
// right after artist and album: sorting each album by it completes the order.
static_assert(LibraryOrder::fields[0] == LibraryOrder::Field::artist
              && LibraryOrder::fields[1] == LibraryOrder::Field::album
              && LibraryOrder::fields[2] == LibraryOrder::Field::discTrack);

void LibraryOrder::sortAlbums(std::vector<qsizetype>& positions, const std::vector<Key>& keys)
{
    const auto discTrack = [&keys](qsizetype position) {
        const Key& key = keys[size_t(position)];
        return DiscTrackKey::of(key.discNumber, key.trackNumber);
    };
    auto run = positions.begin();
    while (run != positions.end()) {
        const Key& first = keys[size_t(*run)];
        const auto runEnd = std::find_if(run + 1, positions.end(), [&keys, &first](qsizetype position) {
            const Key& key = keys[size_t(position)];
            return compareIgnoringAsciiCase(key.artist, first.artist) != 0
                   || compareIgnoringAsciiCase(key.album, first.album) != 0;
        });
        if (runEnd - run > 1)
            std::stable_sort(run, runEnd,
                             [&discTrack](qsizetype a, qsizetype b) { return discTrack(a) < discTrack(b); });
        run = runEnd;
    }
}

} // namespace vessa
