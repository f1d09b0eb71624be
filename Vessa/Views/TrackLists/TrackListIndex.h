#pragma once

#include "Rasko/ScannedTrack.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace vessa {

// The filter and sort work of a track list over precomputed keys, so that a
// keystroke or a header click over a large library compares integers and
// scans short folded texts instead of collating every text again.
//
// Built once per change of the listed items: for title, artist and album a
// collation rank (QCollator sort keys of the current locale, or of English
// when the locale is C or POSIX; case ignored, accents counted: equal ranks
// mean equal under that comparison) and a folded search text (canonically
// composed, case folded); the disc-track key and the duration. Items are
// named by their position in the list built from.
class TrackListIndex {
public:
    struct Item {
        QString title;
        QString artist;
        QString album;
        std::optional<double> duration;
        // The library's disc-track key, (disc, or 1) * 1000 + (track, or 0)
        // (TrackListModel::discTrackKey); the library list only.
        qint64 discTrackKey = 0;
    };

    TrackListIndex() = default;
    // `hasTrackNumbers`: the "trackNumber" key sorts by disc-track key
    // (otherwise it is an unknown key, sorting by position).
    TrackListIndex(const QList<Item>& items, bool hasTrackNumbers);
    // The same for the library's tracks, whose texts are read where the
    // tracks keep them rather than copied into items first; `discTrackKey`
    // gives each track's key, which the "trackNumber" key sorts by.
    TrackListIndex(const QList<ScannedTrack>& tracks, const std::function<qint64(const ScannedTrack&)>& discTrackKey);

    qsizetype size() const { return m_durations.size(); }

    // The text a filter is matched with: composed and case folded.
    static QString fold(const QString& text);

    // Positions, in order, whose title, artist or album contains `query`
    // ignoring case (accents count); every position for an empty query. A
    // query that extends the previous one searches only its matches.
    QList<qsizetype> filtered(const QString& query);

    // A stable sort of ascending `positions` by the key ("title", "artist", "album",
    // "trackNumber", "time"; anything else sorts by position). Only the
    // primary comparison follows the direction: equal artists go by album
    // ascending, then by disc-track key; equal albums by disc-track key.
    // Missing durations count as 0. Ties keep their order in both directions.
    // The whole list's order per key and direction is worked out once and
    // kept, so later sorts of any subset take linear time.
    QList<qsizetype> sorted(const QList<qsizetype>& positions, const QString& key, bool ascending);

private:
    // The ranks and the search text of `count` items, whose title, artist
    // and album (columns 0, 1 and 2) are textAt(item, column).
    template <typename Text, typename TextAt>
    void indexTexts(qsizetype count, const TextAt& textAt);
    const QList<qsizetype>& fullOrder(const QString& key, bool ascending);
    bool matches(qsizetype position, QByteArrayView foldedQuery) const;
    // Items from `first` to before `end` whose texts hold the query, in order.
    QList<qsizetype> itemsHolding(const QByteArray& foldedQuery, qsizetype first, qsizetype end) const;

    QList<int> m_titleRanks;
    QList<int> m_artistRanks;
    QList<int> m_albumRanks;
    // The folded title, artist and album of every item in one UTF-8 buffer,
    // each text ended by NUL (which no query holds), so one search covers
    // all three and never runs from one text into the next. Item i's texts
    // start at m_searchStarts[i]; one more start marks the end.
    QByteArray m_searchText;
    QList<qsizetype> m_searchStarts;
    QList<double> m_durations;
    QList<qint64> m_discTrackKeys;
    bool m_hasTrackNumbers = false;
    // Caches of the filter and sort results; filled on first use.
    QHash<QString, QList<qsizetype>> m_fullOrders;
    QString m_lastQuery;
    QList<qsizetype> m_lastMatches;
};

} // namespace vessa
