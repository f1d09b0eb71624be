// The track lists' filter and sort rules over their precomputed keys, and the
// library's "#" column. ctest runs it in an English and in the C locale.

#include "Vessa/Views/TrackLists/TrackListIndex.h"
#include "Vessa/Views/TrackLists/TrackListModel.h"

#include <QTest>

#include <limits>

using namespace vessa;

using namespace Qt::StringLiterals;

namespace {

struct Track {
    QString title, artist, album;
    std::optional<double> duration;
    std::optional<qint64> disc, number;
};

TrackListIndex indexOf(const QList<Track>& tracks, bool hasTrackNumbers = true)
{
    QList<TrackListIndex::Item> items;
    for (const Track& t : tracks) {
        const ScannedTrack scanned({}, {}, {}, {}, {}, t.number, t.disc, {});
        items.append({t.title, t.artist, t.album, t.duration, TrackListModel::discTrackKey(scanned)});
    }
    return TrackListIndex(items, hasTrackNumbers);
}

// The same tracks as the library holds them, read from their stored texts.
TrackListIndex libraryIndexOf(const QList<Track>& tracks)
{
    QList<ScannedTrack> scanned;
    for (const Track& t : tracks)
        scanned.append(ScannedTrack({}, t.title, t.artist, t.album, t.duration, t.number, t.disc, {}));
    return TrackListModel::indexOf(scanned);
}

QStringList titles(const QList<Track>& tracks, const QList<qsizetype>& positions)
{
    QStringList result;
    for (qsizetype p : positions)
        result.append(tracks[p].title);
    return result;
}

// Two artists; "Zed" has albums "Beta", "Alpha" and "alpha" (equal ignoring case) over two discs.
const QList<Track> library{
    {"a1", "Zed", "Beta", 200.0, 1, 2}, {"a2", "Zed", "Alpha", {}, {}, 1},    {"a3", "abba", "Gold", 100.0, {}, 1},
    {"a4", "Zed", "Alpha", {}, 2, 5},   {"a5", "Zed", "alpha", 100.0, {}, 3},
};

const QList<Track> accented{
    {"Éclair", "", "", {}, {}, {}}, {"eclair", "", "", {}, {}, {}}, {"Apple", "", "", {}, {}, {}},
    {"zebra", "", "", {}, {}, {}},  {"apple", "", "", {}, {}, {}},
};

} // namespace

class TestTrackListIndex : public QObject {
    Q_OBJECT

private slots:
    void sorting_data()
    {
        QTest::addColumn<QList<Track>>("tracks");
        QTest::addColumn<bool>("numbered"); // the list has a "#" column
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("artist ascending: albums ascending, then disc and track")
            << library << true << "artist" << true << QStringList{"a3", "a2", "a5", "a4", "a1"};
        QTest::newRow("artist descending keeps albums ascending")
            << library << true << "artist" << false << QStringList{"a2", "a5", "a4", "a1", "a3"};
        QTest::newRow("album descending: equal albums by disc and track ascending")
            << library << true << "album" << false << QStringList{"a3", "a1", "a2", "a5", "a4"};
        QTest::newRow("track number: disc 2 after disc 1, ties in scan order")
            << library << true << "trackNumber" << true << QStringList{"a2", "a3", "a1", "a5", "a4"};
        QTest::newRow("track number descending keeps ties in scan order")
            << library << true << "trackNumber" << false << QStringList{"a4", "a5", "a1", "a2", "a3"};
        QTest::newRow("track number without the column sorts by position")
            << library << false << "trackNumber" << false << QStringList{"a5", "a4", "a3", "a2", "a1"};
        QTest::newRow("time: missing durations count as 0")
            << library << true << "time" << true << QStringList{"a2", "a4", "a3", "a5", "a1"};
        QTest::newRow("time descending is stable")
            << library << true << "time" << false << QStringList{"a1", "a3", "a5", "a2", "a4"};
        QTest::newRow("index descending")
            << library << true << "index" << false << QStringList{"a5", "a4", "a3", "a2", "a1"};
        QTest::newRow("unknown key sorts by position")
            << library << true << "playing" << true << QStringList{"a1", "a2", "a3", "a4", "a5"};
        QTest::newRow("title ignores case, accents count")
            << accented << true << "title" << true << QStringList{"Apple", "apple", "eclair", "Éclair", "zebra"};
        QTest::newRow("title: capitals do not go first")
            << QList<Track>{{"Zebra", "", "", {}, {}, {}}, {"apple", "", "", {}, {}, {}}} << true << "title" << true
            << QStringList{"apple", "Zebra"};
        QTest::newRow("title descending keeps equal titles in order")
            << accented << true << "title" << false << QStringList{"zebra", "Éclair", "eclair", "Apple", "apple"};
    }

    void sorting()
    {
        QFETCH(QList<Track>, tracks);
        QFETCH(bool, numbered);
        QFETCH(QString, key);
        QFETCH(bool, ascending);
        QFETCH(QStringList, expected);
        TrackListIndex index = indexOf(tracks, numbered);
        QCOMPARE(titles(tracks, index.sorted(index.filtered(QString()), key, ascending)), expected);
        if (numbered) {
            TrackListIndex library = libraryIndexOf(tracks);
            QCOMPARE(titles(tracks, library.sorted(library.filtered(QString()), key, ascending)), expected);
        }
    }

    void filtering_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<qsizetype>>("expected");
        QTest::newRow("empty keeps all") << "" << QList<qsizetype>{0, 1, 2, 3};
        QTest::newRow("capitals match lower case") << "CAFÉ" << QList<qsizetype>{0};
        QTest::newRow("accent counts") << "cafe" << QList<qsizetype>{1};
        QTest::newRow("artist, any case") << "mixed" << QList<qsizetype>{2};
        QTest::newRow("album") << "gold" << QList<qsizetype>{3};
        QTest::newRow("a single space is a filter") << " " << QList<qsizetype>{2, 3};
        QTest::newRow("composed and decomposed accents are equal")
            << QString::fromUtf8("cafe\u0301") << QList<qsizetype>{0};
        QTest::newRow("no match") << "zzz" << QList<qsizetype>{};
        QTest::newRow("every item once, however often it matches") << "a" << QList<qsizetype>{0, 1, 2};
        QTest::newRow("a title and its artist never join") << "cafeart" << QList<qsizetype>{};
        QTest::newRow("an album and the next title never join") << "xsong" << QList<qsizetype>{};
    }

    void filtering()
    {
        QFETCH(QString, query);
        QFETCH(QList<qsizetype>, expected);
        const QList<Track> tracks{{"Café", "Art", "X", {}, {}, {}},
                                  {"cafe", "Art", "X", {}, {}, {}},
                                  {"Song", "MIXED Case", "Y", {}, {}, {}},
                                  {"q", "w", "Gold Rush", {}, {}, {}}};
        QCOMPARE(indexOf(tracks).filtered(query), expected);
        QCOMPARE(libraryIndexOf(tracks).filtered(query), expected);
    }

    // A large list is searched in pieces side by side: hits at any place,
    // at the pieces' seams too, come once and in order.
    void filteringALargeList()
    {
        QList<Track> tracks;
        for (int i = 0; i < 100'000; ++i)
            tracks.append({QStringLiteral("Song number %1 of a long list").arg(i),
                           QStringLiteral("Artist %1").arg(i % 977),
                           "Album",
                           {},
                           {},
                           {}});
        TrackListIndex index = indexOf(tracks);
        for (const QString& query : {u"77"_s, u"number 50000 of"_s, u"number 4999"_s, u"artist 976"_s, u"nothing"_s}) {
            QList<qsizetype> expected;
            for (qsizetype i = 0; i < tracks.size(); ++i) {
                if ((tracks[i].title + u'\0' + tracks[i].artist).toLower().contains(query))
                    expected.append(i);
            }
            QCOMPARE(index.filtered(query), expected);
        }
    }

    void trackNumberColumn_data()
    {
        QTest::addColumn<std::optional<qint64>>("disc");
        QTest::addColumn<std::optional<qint64>>("number");
        QTest::addColumn<QString>("display");
        QTest::addColumn<qint64>("key");
        using N = std::optional<qint64>;
        QTest::newRow("no number") << N() << N() << "" << qint64(1000);
        QTest::newRow("no disc") << N() << N(7) << "7" << qint64(1007);
        QTest::newRow("disc 1") << N(1) << N(5) << "5" << qint64(1005);
        QTest::newRow("disc 0") << N(0) << N(5) << "5" << qint64(5);
        QTest::newRow("disc 2") << N(2) << N(5) << "2-05" << qint64(2005);
        QTest::newRow("disc 3, two digits") << N(3) << N(12) << "3-12" << qint64(3012);
        QTest::newRow("negative disc") << N(-3) << N(5) << "5" << qint64(-2995);
        // Beyond what the key holds, a number counts as its bound: a huge
        // disc sorts last, as in the library's order.
        constexpr qint64 most = std::numeric_limits<qint64>::max(), least = std::numeric_limits<qint64>::min();
        QTest::newRow("largest disc") << N(most) << N(1) << "9223372036854775807-01"
                                      << qint64(9'200'000'000'000'000'001);
        QTest::newRow("smallest disc and track")
            << N(least) << N(least) << "-9223372036854775808" << qint64(-9'220'000'000'000'000'000);
        QTest::newRow("largest track") << N() << N(most) << "9223372036854775807" << qint64(20'000'000'000'001'000);
    }

    void trackNumberColumn()
    {
        QFETCH(std::optional<qint64>, disc);
        QFETCH(std::optional<qint64>, number);
        const ScannedTrack track({}, {}, {}, {}, {}, number, disc, {});
        QTEST(TrackListModel::trackNumberDisplay(track), "display");
        QTEST(TrackListModel::discTrackKey(track), "key");
    }
};

QTEST_GUILESS_MAIN(TestTrackListIndex)
#include "tst_tracklistindex.moc"
