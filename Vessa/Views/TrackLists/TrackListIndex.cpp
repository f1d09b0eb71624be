#include "Vessa/Views/TrackLists/TrackListIndex.h"

#include "VessaCore/CaseBlindCollator.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/ListSizes.h"
#include "VessaCore/WorkerThreads.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace vessa {

namespace {

// A text as the collator and the folding read it: an item's own, or a
// library track's stored bytes.
const QString& textOf(const QString& text)
{
    return text;
}

QString textOf(QByteArrayView stored)
{
    return pathFromBytes(stored);
}

// Collation ranks of the `count` texts textAt(i): texts the collator finds
// equal share a rank. Each distinct text is collated once.
template <typename Text, typename TextAt>
QList<int> collationRanks(qsizetype count, const TextAt& textAt, const QCollator& collator)
{
    std::vector<QCollatorSortKey> keys;
    QList<int> distinctOf(count);
    {
        QHash<Text, int> distinctIndex;
        distinctIndex.reserve(count);
        for (qsizetype i = 0; i < count; ++i) {
            const Text text = textAt(i);
            auto it = distinctIndex.constFind(text);
            if (it == distinctIndex.constEnd()) {
                it = distinctIndex.insert(text, int(keys.size()));
                keys.push_back(collator.sortKey(textOf(text)));
            }
            distinctOf[i] = *it;
        }
    }

    std::vector<int> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return keys[a].compare(keys[b]) < 0; });

    std::vector<int> rankOfDistinct(keys.size());
    int rank = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && keys[order[i - 1]].compare(keys[order[i]]) != 0)
            ++rank;
        rankOfDistinct[order[i]] = rank;
    }

    QList<int> ranks(count);
    for (qsizetype i = 0; i < count; ++i)
        ranks[i] = rankOfDistinct[distinctOf[i]];
    return ranks;
}

// Appends the folded UTF-8 of `text` and its NUL end. Plain ASCII (most
// tags) folds to its lower case without the general conversion's copies.
void appendFolded(QByteArray& buffer, const QString& text)
{
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        for (const QChar c : text)
            buffer.append(char(c.toLower().unicode()));
    } else {
        buffer.append(TrackListIndex::fold(text).toUtf8());
    }
    buffer.append('\0');
}

void appendFolded(QByteArray& buffer, QByteArrayView stored)
{
    const bool ascii = std::all_of(stored.begin(), stored.end(), [](char c) { return uchar(c) < 0x80; });
    if (ascii) {
        for (const char c : stored)
            buffer.append(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
        buffer.append('\0');
    } else {
        appendFolded(buffer, textOf(stored));
    }
}

// Where `needle` (not empty) first occurs in `text` within [from, stop), or
// -1. The C library's search skips through a large buffer several times
// faster than QByteArray::indexOf.
qsizetype indexOf(const QByteArray& text, const QByteArray& needle, qsizetype from, qsizetype stop)
{
    const void* found = memmem(text.constData() + from, size_t(stop - from), needle.constData(), size_t(needle.size()));
    return found ? static_cast<const char*>(found) - text.constData() : -1;
}

// -1, 0 or 1 as a is smaller than, equal to or larger than b.
template <typename T>
int compareValues(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

template <typename Text, typename TextAt>
void TrackListIndex::indexTexts(qsizetype count, const TextAt& textAt)
{
    // The folding runs beside the collations, which run one after another:
    // each holds a sort key for every distinct text of its column (about a
    // hundred bytes each), and three at once would hold that three times
    // over at the moment the library also holds its own. Each is a pure
    // function of the texts; a collator is not shared between threads.
    const auto fold = [this, count, &textAt](std::stop_token) {
        m_searchStarts.reserve(count + 1);
        for (qsizetype i = 0; i < count; ++i) {
            m_searchStarts.append(m_searchText.size());
            for (int column = 0; column < 3; ++column)
                appendFolded(m_searchText, textAt(i, column));
        }
        m_searchStarts.append(m_searchText.size());
        m_searchText.squeeze();
    };
    const auto collate = [this, count, &textAt](std::stop_token) {
        const QCollator collator = caseBlindCollator();
        QList<int>* const ranks[] = {&m_titleRanks, &m_artistRanks, &m_albumRanks};
        for (int column = 0; column < 3; ++column)
            *ranks[column] = collationRanks<Text>(
                count, [&textAt, column](qsizetype i) { return textAt(i, column); }, collator);
    };
    if (count >= ListSizes::largeList) {
        WorkerThreads::run({fold}, collate);
    } else {
        collate({});
        fold({});
    }
}

TrackListIndex::TrackListIndex(const QList<Item>& items, bool hasTrackNumbers) : m_hasTrackNumbers(hasTrackNumbers)
{
    m_durations.reserve(items.size());
    m_discTrackKeys.reserve(items.size());
    for (const Item& item : items) {
        m_durations.append(item.duration.value_or(0.0));
        m_discTrackKeys.append(item.discTrackKey);
    }
    indexTexts<QString>(items.size(), [&items](qsizetype i, int column) -> const QString& {
        const Item& item = items.at(i);
        return column == 0 ? item.title : (column == 1 ? item.artist : item.album);
    });
}

TrackListIndex::TrackListIndex(const QList<ScannedTrack>& tracks,
                               const std::function<qint64(const ScannedTrack&)>& discTrackKey)
    : m_hasTrackNumbers(true)
{
    m_durations.reserve(tracks.size());
    m_discTrackKeys.reserve(tracks.size());
    for (const ScannedTrack& track : tracks) {
        m_durations.append(track.duration().value_or(0.0));
        m_discTrackKeys.append(discTrackKey(track));
    }
    indexTexts<QByteArrayView>(tracks.size(), [&tracks](qsizetype i, int column) {
        static constexpr ScannedTrack::Text columns[] = {ScannedTrack::Text::title, ScannedTrack::Text::artist,
                                                         ScannedTrack::Text::album};
        return tracks.at(i).bytes(columns[column]);
    });
}

QString TrackListIndex::fold(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C).toCaseFolded();
}

QList<qsizetype> TrackListIndex::itemsHolding(const QByteArray& foldedQuery, qsizetype first, qsizetype end) const
{
    // After a hit, the search goes on from the next item.
    QList<qsizetype> positions;
    const qsizetype stop = m_searchStarts[end];
    qsizetype item = first;
    qsizetype from = m_searchStarts[first];
    while ((from = indexOf(m_searchText, foldedQuery, from, stop)) >= 0) {
        item =
            std::upper_bound(m_searchStarts.cbegin() + item, m_searchStarts.cend(), from) - m_searchStarts.cbegin() - 1;
        positions.append(item);
        from = m_searchStarts[++item];
    }
    return positions;
}

bool TrackListIndex::matches(qsizetype position, QByteArrayView foldedQuery) const
{
    const qsizetype start = m_searchStarts[position];
    return QByteArrayView(m_searchText).sliced(start, m_searchStarts[position + 1] - start).contains(foldedQuery);
}

QList<qsizetype> TrackListIndex::filtered(const QString& query)
{
    QList<qsizetype> positions;
    if (query.isEmpty()) {
        positions.reserve(size());
        for (qsizetype i = 0; i < size(); ++i)
            positions.append(i);
        return positions;
    }
    const QString folded = fold(query);
    if (folded.contains(QChar(u'\0'))) {
        // Only a query without the separator can be searched for across the joined texts.
        m_lastQuery.clear();
        return positions;
    }
    // A text holds the query exactly when its UTF-8 holds the query's.
    const QByteArray needle = folded.toUtf8();
    // Whatever contains the longer query contains the shorter one too; but
    // when most items held the shorter one, searching the whole buffer at
    // once is quicker than checking them one by one.
    const bool narrowing = !m_lastQuery.isEmpty() && folded.contains(m_lastQuery) && m_lastMatches.size() * 4 < size();
    if (narrowing) {
        for (const qsizetype position : std::as_const(m_lastMatches)) {
            if (matches(position, needle))
                positions.append(position);
        }
    } else {
        // One pass over the buffer; a large one is cut at item boundaries
        // into pieces searched side by side.
        const qsizetype pieces = m_searchText.size() >= ListSizes::searchSplitBytes ? ListSizes::searchPieces : 1;
        std::vector<QList<qsizetype>> found(static_cast<size_t>(pieces));
        std::vector<WorkerThreads::Piece> searches;
        for (qsizetype piece = 1; piece < pieces; ++piece)
            searches.push_back([this, &needle, &found, piece, pieces](std::stop_token) {
                found[size_t(piece)] = itemsHolding(needle, size() * piece / pieces, size() * (piece + 1) / pieces);
            });
        WorkerThreads::run(std::move(searches),
                           [&](std::stop_token) { positions = itemsHolding(needle, 0, size() / pieces); });
        for (qsizetype piece = 1; piece < pieces; ++piece)
            positions.append(found[size_t(piece)]);
    }
    m_lastQuery = folded;
    m_lastMatches = positions;
    return positions;
}

QList<qsizetype> TrackListIndex::sorted(const QList<qsizetype>& positions, const QString& key, bool ascending)
{
    const QList<qsizetype>& order = fullOrder(key, ascending);
    if (positions.size() == size())
        return order;
    // The subset in the whole list's order: ties keep position order there,
    // as they keep the ascending order of `positions` here.
    std::vector<bool> wanted(size_t(size()), false);
    for (const qsizetype position : positions)
        wanted[size_t(position)] = true;
    QList<qsizetype> result;
    result.reserve(positions.size());
    for (const qsizetype position : order) {
        if (wanted[size_t(position)])
            result.append(position);
    }
    return result;
}

const QList<qsizetype>& TrackListIndex::fullOrder(const QString& key, bool ascending)
{
    const QString cacheKey = key + (ascending ? QLatin1Char('+') : QLatin1Char('-'));
    auto cached = m_fullOrders.constFind(cacheKey);
    if (cached != m_fullOrders.constEnd())
        return *cached;
    QList<qsizetype> positions(size());
    for (qsizetype i = 0; i < size(); ++i)
        positions[i] = i;

    // primary(a, b) follows the direction; secondary(a, b) never does. The
    // comparisons are plain lambdas, which the sort inlines: a large list
    // is compared some twenty million times.
    const int direction = ascending ? 1 : -1;
    const auto sortBy = [&](const auto& primary, const auto& secondary) {
        std::stable_sort(positions.begin(), positions.end(), [&](qsizetype a, qsizetype b) {
            const int first = primary(a, b) * direction;
            return first != 0 ? first < 0 : secondary(a, b) < 0;
        });
    };
    const auto none = [](qsizetype, qsizetype) { return 0; };
    const auto by = [](const auto& keys) {
        return [&keys](qsizetype a, qsizetype b) { return compareValues(keys[a], keys[b]); };
    };
    const auto discTrack = by(m_discTrackKeys);

    if (key == QLatin1String("title")) {
        sortBy(by(m_titleRanks), none);
    } else if (key == QLatin1String("artist")) {
        const auto album = by(m_albumRanks);
        sortBy(by(m_artistRanks), [&](qsizetype a, qsizetype b) {
            const int byAlbum = album(a, b);
            return byAlbum != 0 ? byAlbum : discTrack(a, b);
        });
    } else if (key == QLatin1String("album")) {
        sortBy(by(m_albumRanks), discTrack);
    } else if (key == QLatin1String("trackNumber") && m_hasTrackNumbers) {
        sortBy(discTrack, none);
    } else if (key == QLatin1String("time")) {
        sortBy(by(m_durations), none);
    } else if (!ascending) {
        // By position: already in order, or in reverse (no two positions tie).
        std::reverse(positions.begin(), positions.end());
    }
    return *m_fullOrders.insert(cacheKey, std::move(positions));
}

} // namespace vessa
