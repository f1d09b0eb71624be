#include "Parvik/Playlist.h"
#include "tests/support/ParvikPrinting.h"

#include <QtTest>

#include <stdexcept>

using namespace vessa;

namespace {

// "abcd" -> entries a, b, c, d without hints, and back.
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
    void move_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QString>("result"); // "": out of range, refused before anything changes
        QTest::newRow("onto itself") << 2 << 2 << "abcd";
        QTest::newRow("just below itself") << 2 << 3 << "abcd";
        QTest::newRow("last to front") << 3 << 0 << "dabc";
        QTest::newRow("up into the middle") << 3 << 1 << "adbc";
        QTest::newRow("first to end") << 0 << 4 << "bcda";
        QTest::newRow("down one") << 0 << 2 << "bacd";
        QTest::newRow("destination past end") << 1 << 5 << "";
        QTest::newRow("source at count") << 4 << 0 << "";
    }

    void move()
    {
        QFETCH(int, source);
        QFETCH(int, destination);
        QFETCH(QString, result);
        const Playlist original = lettered(QStringLiteral("abcd"));
        Playlist p = original;
        if (result.isEmpty())
            QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.move(source, destination));
        else
            p.move(source, destination);
        QCOMPARE(letters(p), result.isEmpty() ? letters(original) : result);
        QCOMPARE(letters(original), QStringLiteral("abcd")); // copies are independent
    }

    void editing()
    {
        QVERIFY(!lettered(QString()).contains(TrackRef(QStringLiteral("a"))));
        Playlist p = lettered(QStringLiteral("bb"));
        QCOMPARE(p.tracks[0], p.tracks[1]);
        p.insert(TrackRef(QStringLiteral("a")), 0);
        p.insert(PlaylistTrack(TrackRef(QStringLiteral("d")), QString()), p.tracks.size());
        p.append(TrackRef(QStringLiteral("a")));
        QCOMPARE(letters(p), QStringLiteral("abbda"));
        QVERIFY(p.contains(TrackRef(QStringLiteral("d"))) && !p.contains(TrackRef(QStringLiteral("D"))));
        QCOMPARE(p.remove(3), PlaylistTrack(TrackRef(QStringLiteral("d")), QString()));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.remove(4));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.insert(TrackRef(QStringLiteral("x")), 5));
        QCOMPARE(letters(p), QStringLiteral("abba"));
    }

    // No hint, an empty hint and a hint are three different values.
    void equalityAndHashing()
    {
        const TrackRef r(QStringLiteral("vez:track:x::y"));
        const PlaylistTrack noHint(r), emptyHint(r, QString()), hinted(r, QStringLiteral("file://y.mp3"));
        QVERIFY(hinted != PlaylistTrack(TrackRef(QStringLiteral("vez:track:x::z")), *hinted.fileHint));
        QCOMPARE(qHash(hinted, 7), qHash(PlaylistTrack(r, QStringLiteral("file://y.mp3")), 7));
        const QSet<PlaylistTrack> set{noHint, emptyHint, hinted, PlaylistTrack(r)};
        QCOMPARE(set.size(), 3);
        QVERIFY(set.contains(PlaylistTrack(r, QString())));
    }
};

QTEST_GUILESS_MAIN(PlaylistTest)
#include "tst_playlist.moc"
