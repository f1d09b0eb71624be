#include "Parvik/Playlist.h"
#include "tests/support/ParvikPrinting.h"

#include <QtTest>

#include <stdexcept>

using namespace vessa;

namespace {

// A playlist of single-letter URIs, "abcd" -> [a, b, c, d].
Playlist lettered(const QString& letters)
{
    QList<TrackRef> refs;
    for (const QChar letter : letters)
        refs.append(TrackRef(QString(letter)));
    return Playlist(QStringLiteral("p"), refs);
}

QString letters(const Playlist& playlist)
{
    QString text;
    for (const PlaylistTrack& track : playlist.tracks)
        text += track.ref.uri();
    return text;
}

} // namespace

class PlaylistTest : public QObject {
    Q_OBJECT

private slots:
    void construction();
    void insertAndRemove();
    void move_data();
    void move();
    void outOfRangeLeavesPlaylistUnchanged();
    void contains();
    void equalityAndHashing();
    void copiesAreIndependent();
};

void PlaylistTest::construction()
{
    QVERIFY(Playlist(QStringLiteral("x"), QList<TrackRef>()).tracks.isEmpty());
    const TrackRef r(QStringLiteral("vez:track:a::t"));
    const Playlist twice(QStringLiteral("x"), QList<TrackRef>{r, r});
    QCOMPARE(twice.tracks.size(), 2);
    QCOMPARE(twice.tracks[0], twice.tracks[1]);
    QCOMPARE(twice.tracks[0].fileHint, std::nullopt);

    Playlist p = lettered(QStringLiteral("ab"));
    p.append(TrackRef(QStringLiteral("a")));
    p.append(PlaylistTrack(TrackRef(QStringLiteral("c")), QStringLiteral("file://c.mp3")));
    QCOMPARE(letters(p), QStringLiteral("abac"));
    QCOMPARE(p.tracks.last().fileHint, QStringLiteral("file://c.mp3"));
}

void PlaylistTest::insertAndRemove()
{
    Playlist p = lettered(QStringLiteral("bc"));
    p.insert(TrackRef(QStringLiteral("a")), 0);
    p.insert(PlaylistTrack(TrackRef(QStringLiteral("d")), QString()), p.tracks.size());
    QCOMPARE(letters(p), QStringLiteral("abcd"));

    const PlaylistTrack removed = p.remove(3);
    QCOMPARE(removed, PlaylistTrack(TrackRef(QStringLiteral("d")), QString()));
    QCOMPARE(p.remove(0).ref.uri(), QStringLiteral("a"));
    QCOMPARE(letters(p), QStringLiteral("bc"));
}

void PlaylistTest::move_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("destination");
    QTest::addColumn<QString>("result");
    QTest::newRow("onto itself") << 2 << 2 << "abcd";
    QTest::newRow("just below itself") << 2 << 3 << "abcd";
    QTest::newRow("last to front") << 3 << 0 << "dabc";
    QTest::newRow("up into the middle") << 3 << 1 << "adbc";
    QTest::newRow("first to end") << 0 << 4 << "bcda";
    QTest::newRow("down one") << 0 << 2 << "bacd";
    QTest::newRow("up one") << 1 << 0 << "bacd";
}

void PlaylistTest::move()
{
    QFETCH(int, source);
    QFETCH(int, destination);
    Playlist p = lettered(QStringLiteral("abcd"));
    p.move(source, destination);
    QTEST(letters(p), "result");
}

void PlaylistTest::outOfRangeLeavesPlaylistUnchanged()
{
    Playlist p = lettered(QStringLiteral("abc"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.move(1, 4));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.move(3, 0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.move(-1, 0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.remove(3));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.insert(TrackRef(QStringLiteral("x")), 4));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.insert(TrackRef(QStringLiteral("x")), -1));
    QCOMPARE(letters(p), QStringLiteral("abc"));
    Playlist empty = lettered(QString());
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, empty.remove(0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, empty.move(0, 0));
}

void PlaylistTest::contains()
{
    QVERIFY(!lettered(QString()).contains(TrackRef(QStringLiteral("a"))));
    Playlist p = lettered(QStringLiteral("b"));
    p.append(PlaylistTrack(TrackRef(QStringLiteral("a")), QStringLiteral("file:///a.mp3")));
    QVERIFY(p.contains(TrackRef(QStringLiteral("a"))));
    QVERIFY(!p.contains(TrackRef(QStringLiteral("A"))));
}

void PlaylistTest::equalityAndHashing()
{
    const TrackRef r(QStringLiteral("vez:track:x::y"));
    const PlaylistTrack noHint(r);
    const PlaylistTrack emptyHint(r, QString());
    const PlaylistTrack hinted(r, QStringLiteral("file://y.mp3"));
    QVERIFY(noHint != emptyHint);
    QVERIFY(emptyHint != hinted);
    QVERIFY(hinted != PlaylistTrack(TrackRef(QStringLiteral("vez:track:x::z")), QStringLiteral("file://y.mp3")));
    QCOMPARE(hinted, PlaylistTrack(r, QStringLiteral("file://y.mp3")));
    QCOMPARE(qHash(hinted, 7), qHash(PlaylistTrack(r, QStringLiteral("file://y.mp3")), 7));
    QCOMPARE(std::hash<PlaylistTrack>()(noHint), std::hash<PlaylistTrack>()(PlaylistTrack(r)));

    // Hash containers keep the three apart and find equal values.
    const QSet<PlaylistTrack> set{noHint, emptyHint, hinted, PlaylistTrack(r)};
    QCOMPARE(set.size(), 3);
    QVERIFY(set.contains(PlaylistTrack(r, QString())));
}

void PlaylistTest::copiesAreIndependent()
{
    const Playlist original = lettered(QStringLiteral("ab"));
    Playlist copy = original;
    copy.name = QStringLiteral("q");
    copy.move(0, 2);
    copy.append(TrackRef(QStringLiteral("c")));
    QCOMPARE(letters(original), QStringLiteral("ab"));
    QCOMPARE(original.name, QStringLiteral("p"));
    QCOMPARE(letters(copy), QStringLiteral("bac"));
}

QTEST_GUILESS_MAIN(PlaylistTest)
#include "tst_playlist.moc"
