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
        rig.context->setShuffleEnabled(true);
        const QList<TrackRef> shrunk = rig.tracks.mid(0, 2);
        rig.context->reloadQueue(shrunk);
        QCOMPARE(rig.context->queue(), shrunk);
        QCOMPARE(rig.context->currentIndex(), Index(0));
        QVERIFY(!rig.context->currentMetadata());
        QCOMPARE(rig.context->shuffledIndices().size(), 2);
        QVERIFY(rig.lines().contains(QStringLiteral("loadQueue: 2 tracks, startIndex=0")));
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
