#include "tests/support/PlayContextRig.h"

#include <QtTest>

using namespace vessa;
using namespace vessa::test;

namespace {

// The rig's tracks with a new one in front: every old entry moves one down.
QList<TrackRef> withNewFirstTrack(const QList<TrackRef>& tracks)
{
    QList<TrackRef> grown = tracks;
    grown.prepend(TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), QStringLiteral("New")));
    return grown;
}

// The hint the last resolve was given; "" when none.
QString lastResolvedHint(const PlayContextRig& rig)
{
    const QStringList resolves = rig.lines().filter(QStringLiteral("resolveAndPlay: "));
    const QString line = resolves.isEmpty() ? QString() : resolves.last();
    const qsizetype from = line.lastIndexOf(QStringLiteral(" (hint: "));
    return from < 0 ? QString() : line.mid(from + 8, line.size() - from - 9);
}

} // namespace

class PlayContextReloadTest : public QObject {
    Q_OBJECT

private slots:
    void pausedTrackResumesAfterAReload()
    {
        PlayContextRig rig(3);
        QVERIFY(rig.startPlaying(1));
        QTRY_VERIFY(rig.context->currentMetadata());
        QCOMPARE(rig.run(PlaybackCommand::pause()), QString());
        rig.context->reloadQueue(withNewFirstTrack(rig.tracks));
        QCOMPARE(rig.context->currentIndex(), Index(2));
        QCOMPARE(rig.context->playingIndex(), Index(2));
        QCOMPARE(rig.context->currentTrack(), std::optional<TrackRef>(rig.tracks[1]));
        QVERIFY(rig.context->currentMetadata()); // the tags of what plays stay
        // Play resumes the paused track instead of opening it again.
        QCOMPARE(rig.run(PlaybackCommand::play()), QString());
        QVERIFY(rig.player.transportState().isPlaying());
        QCOMPARE(rig.openCount(), 1);
        QVERIFY(rig.lines().contains(QStringLiteral("reloadQueue: 4 tracks, current at index 2")));
    }

    void resolvingTrackStartsAfterAReload()
    {
        PlayContextRig rig(3);
        rig.context->loadQueue(rig.tracks, 0, QList<std::optional<QString>>{}, QStringLiteral("/p/list.parvik"),
                               QStringLiteral("Road Trip"));
        rig.decoder->blockOpens();
        Outcome outcome = rig.start(PlaybackCommand::play());
        QVERIFY(rig.decoder->waitForBlockedOpens(1));
        rig.context->reloadQueue(withNewFirstTrack(rig.tracks));
        QCOMPARE(rig.context->queueID(), std::optional<QString>());
        rig.decoder->releaseOpens();
        QTRY_VERIFY(outcome->has_value() && !**outcome);
        QVERIFY(rig.waitForNowPlaying(1));
        QVERIFY(rig.player.transportState().isPlaying());
        QCOMPARE(rig.context->playingIndex(), Index(1));
        QVERIFY(rig.lines().filter(QStringLiteral("superseded")).isEmpty());
    }

    void vanishedTrackLoadsTheNewQueueFromItsStart()
    {
        PlayContextRig rig(3);
        QVERIFY(rig.startPlaying(2));
        QTRY_VERIFY(rig.context->currentMetadata());
        rig.endTrack(); // the end of the queue: nothing sounds any more
        QTRY_VERIFY(rig.player.transportState() == TransportState::idle());
        rig.context->setShuffleEnabled(true);
        const QList<TrackRef> shrunk = rig.tracks.mid(0, 2);
        rig.context->reloadQueue(shrunk);
        QCOMPARE(rig.context->queue(), shrunk);
        QCOMPARE(rig.context->currentIndex(), Index(0));
        QVERIFY(!rig.context->currentMetadata());
        QCOMPARE(rig.context->shuffledIndices().size(), 2);
        QVERIFY(rig.lines().contains(QStringLiteral("loadQueue: 2 tracks, startIndex=0")));
    }

    // The track that sounds stays current, with its tags, whether the new
    // list holds it or not; when it ends the entry that followed it plays.
    void soundingTrackPlaysOnThenItsSuccessor_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("removed");
        QTest::addColumn<bool>("retagged"); // it comes back last, under a new title
        QTest::addColumn<QString>("repeat");
        QTest::addColumn<bool>("shuffle");
        QTest::addColumn<int>("next"); // -1: playback stops
        QTest::newRow("listed") << 1 << QList<int>{3} << false << "off" << false << 2;
        QTest::newRow("listed, repeat one") << 1 << QList<int>{3} << false << "one" << false << 1;
        QTest::newRow("gone with its successor") << 1 << QList<int>{1, 2} << false << "off" << false << 3;
        QTest::newRow("gone, repeat one") << 1 << QList<int>{1, 2} << false << "one" << false << 3;
        QTest::newRow("gone, repeat all") << 1 << QList<int>{1, 2} << false << "all" << false << 3;
        QTest::newRow("retagged") << 1 << QList<int>{1} << true << "off" << false << 2;
        QTest::newRow("gone, the last") << 4 << QList<int>{4} << false << "off" << false << -1;
        QTest::newRow("gone, the last, repeat all") << 4 << QList<int>{4} << false << "all" << false << 0;
        QTest::newRow("gone, shuffle") << 1 << QList<int>{0, 1, 2, 4} << false << "all" << true << 3;
    }
    void soundingTrackPlaysOnThenItsSuccessor()
    {
        QFETCH(int, start);
        QFETCH(QList<int>, removed);
        QFETCH(bool, retagged);
        QFETCH(QString, repeat);
        QFETCH(bool, shuffle);
        QFETCH(int, next);
        PlayContextRig rig(5);
        rig.context->setShuffleEnabled(shuffle);
        QVERIFY(rig.startPlaying(start));
        // Only now: a track opened under repeat one loops in its decoder.
        rig.context->setRepeatMode(*repeatModeFromString(repeat));
        QTRY_VERIFY(rig.context->currentMetadata());
        QList<TrackRef> library;
        for (int i = 0; i < rig.tracks.size(); ++i) {
            if (!removed.contains(i))
                library.append(rig.tracks[i]);
        }
        if (retagged)
            library.append(TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), QStringLiteral("Retitled")));

        rig.context->reloadQueue(library);
        const TrackRef sounding = rig.tracks[start];
        QCOMPARE(rig.context->currentTrack(), std::optional<TrackRef>(sounding));
        QCOMPARE(rig.context->playingIndex(), rig.context->currentIndex());
        QCOMPARE(rig.context->currentMetadata()->title, QStringLiteral("Title %1").arg(start));
        QCOMPARE(rig.context->queue().size(), library.size() + (library.contains(sounding) ? 0 : 1));

        rig.endTrack();
        QTRY_VERIFY(!rig.lines().filter(QStringLiteral("Auto-advance from index")).isEmpty());
        if (next < 0) {
            QVERIFY(rig.player.transportState() == TransportState::idle());
            QCOMPARE(rig.openCount(), 1);
            return;
        }
        QVERIFY(rig.waitForNowPlaying(2));
        QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(next));
        QCOMPARE(rig.context->currentTrack(), std::optional<TrackRef>(rig.tracks[next]));
        // The kept entry has left with its sound.
        QCOMPARE(rig.context->queue(), library);
        if (shuffle)
            QCOMPARE(rig.context->shuffledIndices()[*rig.context->shufflePosition()], *rig.context->currentIndex());
        QCOMPARE(rig.lastError(), QString());
    }

    // A playing playlist is edited: the sounding entry goes on from where it
    // now stands. Entry i has the hint "h<i>", a new entry (-1) "new".
    void editedListCarriesTheSoundingEntry_data()
    {
        QTest::addColumn<QList<int>>("tracksOf"); // the rig track of each entry
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("edited"); // old positions
        QTest::addColumn<bool>("shuffle");
        QTest::addColumn<bool>("ends");    // the track ends, else next
        QTest::addColumn<QString>("then"); // the hint played then; "*" the next in shuffle order
        const QList<int> plain{0, 1, 2, 3, 4};
        QTest::newRow("moved") << plain << 1 << QList<int>{0, 2, 3, 1, 4} << false << false << "h4";
        QTest::newRow("removed while sounding") << plain << 1 << QList<int>{0, 2, 3, 4} << false << true << "h2";
        QTest::newRow("added after it") << plain << 1 << QList<int>{0, 1, -1, 2, 3, 4} << false << true << "new";
        QTest::newRow("a track twice") << QList<int>{0, 1, 0, 2, 3} << 2 << QList<int>{0, 1, 3, 2, 4} << false << false
                                       << "h4";
        QTest::newRow("shuffle, moved") << plain << 1 << QList<int>{0, 2, 3, 1, 4} << true << false << "*";
    }
    void editedListCarriesTheSoundingEntry()
    {
        QFETCH(QList<int>, tracksOf);
        QFETCH(int, start);
        QFETCH(QList<int>, edited);
        QFETCH(bool, shuffle);
        QFETCH(bool, ends);
        QFETCH(QString, then);
        PlayContextRig rig(6);
        QList<TrackRef> list, tracks;
        QList<std::optional<QString>> hints, editedHints;
        for (int i = 0; i < tracksOf.size(); ++i) {
            list.append(rig.tracks[tracksOf[i]]);
            hints.append(QStringLiteral("h%1").arg(i));
        }
        rig.context->setShuffleEnabled(shuffle);
        rig.context->loadQueue(list, start, hints, QStringLiteral("/p/list.parvik"), QStringLiteral("Mix"));
        QCOMPARE(rig.run(PlaybackCommand::play()), QString());
        QVERIFY(rig.waitForNowPlaying(1));
        qsizetype nextBefore = -1; // the entry next in shuffle order before the edit
        if (shuffle)
            nextBefore = rig.context->shuffledIndices().value(*rig.context->shufflePosition() + 1, -1);
        for (int origin : edited) {
            tracks.append(origin < 0 ? rig.tracks[5] : list[origin]);
            editedHints.append(origin < 0 ? QStringLiteral("new") : QStringLiteral("h%1").arg(origin));
        }
        rig.context->editQueue(tracks, editedHints, QList<qsizetype>(edited.cbegin(), edited.cend()));
        const bool listed = edited.contains(start);
        QVERIFY(rig.player.transportState().isPlaying());
        QCOMPARE(rig.openCount(), 1);
        QCOMPARE(rig.context->currentTrack(), std::optional<TrackRef>(list[start]));
        QCOMPARE(rig.context->playingIndex(), rig.context->currentIndex());
        QCOMPARE(rig.context->playingListIndex(), listed ? Index(edited.indexOf(start)) : std::nullopt);
        QList<TrackRef> queue = rig.context->queue();
        if (!listed) // kept where the entry that followed it stands
            QCOMPARE(queue.takeAt(*rig.context->currentIndex()), list[start]);
        QCOMPARE(queue, tracks);
        if (shuffle) {
            QList<qsizetype> order = rig.context->shuffledIndices();
            const qsizetype slot = *rig.context->shufflePosition();
            const qsizetype current = *rig.context->currentIndex();
            QCOMPARE(order[slot], current);
            const qsizetype next = order[slot + 1]; // a queue position; the kept entry shifts those after it
            then = editedHints[next - (!listed && next > current ? 1 : 0)].value();
            QCOMPARE(then, QStringLiteral("h%1").arg(nextBefore)); // the order keeps its course
            std::sort(order.begin(), order.end());
            for (qsizetype i = 0; i < order.size(); ++i)
                QCOMPARE(order[i], i);
        }
        if (ends)
            rig.endTrack();
        else
            QCOMPARE(rig.run(PlaybackCommand::next()), QString());
        QVERIFY(rig.waitForNowPlaying(2));
        QCOMPARE(lastResolvedHint(rig), then);
        QCOMPARE(rig.context->queue().size(), edited.size()); // the kept entry has left with its sound
        QCOMPARE(rig.lastError(), QString());
    }

    // An entry removed while it opens plays once open; the one after it follows.
    void anEntryRemovedWhileItOpensPlaysOnceOpen()
    {
        PlayContextRig rig(4);
        QVERIFY(rig.startPlaying(0));
        rig.decoder->blockOpens();
        Outcome outcome = rig.start(PlaybackCommand::next());
        QVERIFY(rig.decoder->waitForBlockedOpens(1));
        const QList<TrackRef> edited{rig.tracks[0], rig.tracks[2], rig.tracks[3]};
        rig.context->editQueue(edited, {}, {0, 2, 3});
        QCOMPARE(rig.context->currentTrack(), std::optional<TrackRef>(rig.tracks[1]));
        QCOMPARE(rig.context->playingIndex(), Index(0));
        rig.decoder->releaseOpens();
        QTRY_VERIFY(outcome->has_value() && !**outcome);
        QVERIFY(rig.waitForNowPlaying(2));
        QCOMPARE(rig.context->playingIndex(), Index(1));
        QCOMPARE(rig.context->playingListIndex(), std::nullopt);
        rig.endTrack();
        QVERIFY(rig.waitForNowPlaying(3));
        QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(2));
        QCOMPARE(rig.context->queue(), edited);
    }

    void shuffleOrderPutsTheKeptTrackFirst()
    {
        PlayContextRig rig(4);
        rig.context->loadQueue(rig.tracks, 3);
        rig.context->setShuffleEnabled(true);
        rig.context->reloadQueue(withNewFirstTrack(rig.tracks));
        QCOMPARE(rig.context->shuffledIndices().size(), 5);
        QCOMPARE(rig.context->shuffledIndices().first(), qsizetype(4));
        QCOMPARE(rig.context->shufflePosition(), Index(0));
    }
};

QTEST_GUILESS_MAIN(PlayContextReloadTest)
#include "tst_playcontextreload.moc"
