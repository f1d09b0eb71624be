#include "Vessa/App/NowPlaying/MprisProperties.h"
#include "Vessa/App/NowPlaying/NowPlayingSnapshot.h"
#include "Vessa/App/NowPlaying/PositionJumpDetector.h"

#include <QDBusObjectPath>
#include <QRegularExpression>
#include <QtTest>

using namespace vessa;

namespace {

const TrackRef ref(QStringLiteral("Ref Artist"), QStringLiteral("Ref Album"), QStringLiteral("Ref Title"));

bool isObjectPath(const QString& path)
{
    static const QRegularExpression pattern(QStringLiteral("^(/[A-Za-z0-9_]+)+$"));
    return pattern.match(path).hasMatch();
}

NowPlayingInput playing(std::optional<TrackMetadata> metadata)
{
    return NowPlayingInput{.track = ref,
                           .metadata = std::move(metadata),
                           .transport = TransportState::playing(1.0),
                           .position = 12.5,
                           .duration = 200.25,
                           .volume = 0.75,
                           .artworkUrl = QStringLiteral("file:///cache/a.png")};
}

using Texts = QList<std::optional<QString>>; // title, artist, album, art URL

} // namespace

Q_DECLARE_METATYPE(NowPlayingInput)

class NowPlayingSnapshotTest : public QObject {
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<NowPlayingInput>("input");
        QTest::addColumn<Texts>("expected");
        const QString art = QStringLiteral("file:///cache/a.png");
        QTest::newRow("full metadata") << playing(TrackMetadata{.title = QStringLiteral("T"),
                                                                .artist = QStringLiteral("A"),
                                                                .album = QStringLiteral("B"),
                                                                .artworkData = QByteArray("png")})
                                       << Texts{QStringLiteral("T"), QStringLiteral("A"), QStringLiteral("B"), art};
        QTest::newRow("metadata not loaded: the reference, no artwork")
            << playing(std::nullopt)
            << Texts{QStringLiteral("Ref Title"), QStringLiteral("Ref Artist"), QStringLiteral("Ref Album"), {}};
        QTest::newRow("title without artist")
            << playing(TrackMetadata{.title = QStringLiteral("T")})
            << Texts{QStringLiteral("T"), QStringLiteral("Ref Artist"), QStringLiteral("Ref Album"), art};
        NowPlayingInput bare = playing(std::nullopt);
        bare.track = TrackRef(QStringLiteral("file:///x.mp3"));
        QTest::newRow("a reference of no track form publishes empty texts")
            << bare << Texts{QString(), QString(), QString(), {}};
        QTest::newRow("empty metadata texts are published empty")
            << playing(TrackMetadata{.title = QString(), .artist = QString(), .album = QString()})
            << Texts{QString(), QString(), QString(), art};
    }
    void texts()
    {
        QFETCH(NowPlayingInput, input);
        QFETCH(Texts, expected);
        const NowPlayingSnapshot snapshot = buildNowPlayingSnapshot(input);
        QVERIFY(snapshot.track);
        QCOMPARE((Texts{snapshot.track->title, snapshot.track->artist, snapshot.track->album, snapshot.track->artUrl}),
                 expected);
        // Position, status and length do not wait for the metadata.
        QCOMPARE(toString(snapshot.status), QStringLiteral("Playing"));
        QCOMPARE(snapshot.positionMicroseconds, 12'500'000);
        QCOMPARE(snapshot.track->lengthMicroseconds, 200'250'000);
        QVERIFY(snapshot.canPlay && snapshot.canPause && snapshot.canGoNext && snapshot.canGoPrevious);
        QVERIFY(snapshot.canSeek);

        const QVariantMap map = mprisMetadata(snapshot.track);
        QCOMPARE(map.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(), snapshot.track->trackId);
        QCOMPARE(map.value(QStringLiteral("mpris:length")).toLongLong(), 200'250'000);
        QCOMPARE(map.value(QStringLiteral("xesam:title")).toString(), *expected[0]);
        QCOMPARE(map.value(QStringLiteral("xesam:artist")).toStringList(), QStringList{*expected[1]}); // a list
        QCOMPARE(map.value(QStringLiteral("xesam:album")).toString(), *expected[2]);
        QVERIFY(map.contains(QStringLiteral("xesam:title")) && map.contains(QStringLiteral("xesam:album")));
        QCOMPARE(map.value(QStringLiteral("mpris:artUrl")).toString(), expected[3].value_or(QString()));
    }

    void noCurrentTrack()
    {
        const NowPlayingSnapshot snapshot = buildNowPlayingSnapshot(NowPlayingInput{.volume = 0.5});
        QVERIFY(!snapshot.track);
        QCOMPARE(toString(snapshot.status), QStringLiteral("Stopped"));
        QVERIFY(mprisMetadata(snapshot.track).isEmpty());
        QVERIFY(!snapshot.canPlay && !snapshot.canPause && !snapshot.canGoNext && !snapshot.canSeek);
        QCOMPARE(snapshot.volume, 0.5);
    }

    void status_data()
    {
        QTest::addColumn<TransportState>("transport");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("canSeek");
        QTest::newRow("playing") << TransportState::playing(0) << QStringLiteral("Playing") << true;
        QTest::newRow("paused") << TransportState::paused(3) << QStringLiteral("Paused") << true;
        QTest::newRow("idle") << TransportState::idle() << QStringLiteral("Stopped") << false;
    }
    void status()
    {
        QFETCH(TransportState, transport);
        NowPlayingInput input = playing(std::nullopt);
        input.transport = transport;
        const NowPlayingSnapshot snapshot = buildNowPlayingSnapshot(input);
        QFETCH(QString, status);
        QFETCH(bool, canSeek);
        QCOMPARE(toString(snapshot.status), status);
        QCOMPARE(snapshot.canSeek, canSeek);
    }

    void unknownDurationHasNoLength()
    {
        NowPlayingInput input = playing(TrackMetadata{.duration = 99.0});
        input.duration.reset(); // the metadata's duration is not the clock's
        const NowPlayingSnapshot snapshot = buildNowPlayingSnapshot(input);
        QVERIFY(!snapshot.track->lengthMicroseconds);
        QVERIFY(!mprisMetadata(snapshot.track).contains(QStringLiteral("mpris:length")));
    }

    void microsecondConversion_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("zero") << 0.0 << qint64(0);
        QTest::newRow("fraction rounds") << 1.0000004 << qint64(1'000'000);
        QTest::newRow("half up") << 0.0000015 << qint64(2);
        QTest::newRow("three hours") << 10800.123456 << qint64(10'800'123'456);
        QTest::newRow("NaN") << std::nan("") << qint64(0);
        QTest::newRow("huge") << 1e300 << std::numeric_limits<qint64>::max();
    }
    void microsecondConversion()
    {
        QFETCH(double, seconds);
        QFETCH(qint64, expected);
        QCOMPARE(microseconds(seconds), expected);
    }

    void trackIdIsAValidObjectPath_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::newRow("plain") << TrackRef(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")).uri();
        QTest::newRow(": % # and spaces") << QStringLiteral("vez:track:A%20B:C:D:120#3");
        QTest::newRow("non-ASCII") << QStringLiteral("vez:track:Björk:Début:Ænima ☃ 東京");
        QTest::newRow("empty") << QString();
        QTest::newRow("underscore") << QStringLiteral("_");
        QTest::newRow("slashes") << QStringLiteral("//a//b/");
    }
    void trackIdIsAValidObjectPath()
    {
        QFETCH(QString, uri);
        const QString id = mprisTrackId(TrackRef(uri));
        QVERIFY2(isObjectPath(id), qPrintable(id));
        QVERIFY(!id.startsWith(QStringLiteral("/org/mpris"))); // that namespace is reserved
    }

    void trackIdsOfDifferentUrisDiffer()
    {
        const QStringList uris{QString(),
                               QStringLiteral("_"),
                               QStringLiteral("_5F"),
                               QStringLiteral("a b"),
                               QStringLiteral("a_b"),
                               QStringLiteral("a_20b"),
                               QStringLiteral("é"),
                               QStringLiteral("e")};
        QSet<QString> ids;
        for (const QString& uri : uris)
            ids.insert(mprisTrackId(TrackRef(uri)));
        QCOMPARE(ids.size(), uris.size());
    }

    void changedPropertiesOnly()
    {
        const NowPlayingSnapshot before = buildNowPlayingSnapshot(playing(std::nullopt));
        NowPlayingSnapshot after = before;
        after.positionMicroseconds += 5'000'000;
        QVERIFY(changedPlayerProperties(before, after).isEmpty()); // the position is never sent

        after.status = PlaybackStatus::paused;
        QCOMPARE(changedPlayerProperties(before, after),
                 (QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")}}));

        after = buildNowPlayingSnapshot(NowPlayingInput{.volume = 0.2});
        const QVariantMap changed = changedPlayerProperties(before, after);
        QCOMPARE(changed.keys(), (QStringList{"CanGoNext", "CanGoPrevious", "CanPause", "CanPlay", "CanSeek",
                                              "Metadata", "PlaybackStatus", "Volume"}));
        QVERIFY(changed.value(QStringLiteral("Metadata")).toMap().isEmpty());
        QCOMPARE(changed.value(QStringLiteral("Volume")).toDouble(), 0.2);
    }

    void jumps_data()
    {
        // Readings after a first one at 10 s while playing, 100 ms apart.
        QTest::addColumn<QList<qint64>>("positions");
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("runs on") << QList<qint64>{10'100'000, 10'200'000, 10'300'000} << QList<qint64>{};
        QTest::newRow("jumps ahead") << QList<qint64>{10'100'000, 42'000'000, 42'100'000} << QList<qint64>{42'000'000};
        QTest::newRow("jumps back") << QList<qint64>{10'100'000, 2'000'000} << QList<qint64>{2'000'000};
        QTest::newRow("within a second") << QList<qint64>{10'900'000, 10'000'000} << QList<qint64>{};
        QTest::newRow("stands still") << QList<qint64>(30, 10'000'000) << QList<qint64>{};
    }
    void jumps()
    {
        QFETCH(QList<qint64>, positions);
        QFETCH(QList<qint64>, expected);
        PositionJumpDetector detector;
        const QString id = QStringLiteral("/t");
        QVERIFY(!detector.update(id, 10'000'000, true, 0));
        QList<qint64> reported;
        for (qint64 position : positions)
            if (const auto jump = detector.update(id, position, true, 100'000))
                reported.append(*jump);
        QCOMPARE(reported, expected);
    }

    void jumpRules()
    {
        PositionJumpDetector detector;
        QVERIFY(!detector.update(QStringLiteral("/a"), 100'000'000, true, 0));
        // A new track restarts the count.
        QVERIFY(!detector.update(QStringLiteral("/b"), 0, true, 100'000));
        // Paused, time passing does not move the expected position.
        QVERIFY(!detector.update(QStringLiteral("/b"), 0, false, 100'000));
        QCOMPARE(detector.update(QStringLiteral("/b"), 3'000'000, false, 5'000'000), qint64(3'000'000));
        // An announced seek is not reported again when the clock gets there.
        detector.announce(60'000'000);
        QVERIFY(!detector.update(QStringLiteral("/b"), 60'050'000, true, 100'000));
        QCOMPARE(detector.update(QStringLiteral("/b"), 20'000'000, true, 100'000), qint64(20'000'000));
        // Two quick seeks: the clock shows the first, then the second, or only the second.
        detector.announce(30'000'000);
        detector.announce(50'000'000);
        QVERIFY(!detector.update(QStringLiteral("/b"), 30'000'000, true, 100'000));
        QVERIFY(!detector.update(QStringLiteral("/b"), 50'000'000, true, 100'000));
        detector.announce(70'000'000);
        detector.announce(90'000'000);
        QVERIFY(!detector.update(QStringLiteral("/b"), 90'000'000, true, 100'000));
        QCOMPARE(detector.update(QStringLiteral("/b"), 70'000'000, true, 100'000), qint64(70'000'000));
    }
};

QTEST_GUILESS_MAIN(NowPlayingSnapshotTest)
#include "tst_nowplayingsnapshot.moc"
