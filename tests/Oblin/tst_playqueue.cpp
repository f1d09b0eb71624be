#include "tests/Oblin/PlayContextRig.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

using namespace vessa;
using namespace vessa::test;

namespace {

using Hints = QList<std::optional<QString>>;

bool isPermutation(const QList<qsizetype>& order, qsizetype count)
{
    QList<qsizetype> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    QList<qsizetype> expected(count);
    std::iota(expected.begin(), expected.end(), qsizetype(0));
    return sorted == expected;
}

} // namespace

class PlayQueueTest : public QObject {
    Q_OBJECT

private slots:
    void loadQueue_data();
    void loadQueue();
    void loadQueueFitsTheHintsToTheTracks_data();
    void loadQueueFitsTheHintsToTheTracks();
    void loadQueueLeavesThePlayingTrackAlone();
    void appendToQueue();
    void appendUnderShufflePlaysTheNewEntriesNext();
    void appendUnderShuffleWithoutCurrentEntryStartsAFreshOrder();
    void shuffleOrders_data();
    void shuffleOrders();
    void restorePosition();
    void changeNotifications();
};

void PlayQueueTest::loadQueue_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<qsizetype>("startIndex");
    QTest::addColumn<qsizetype>("expected"); // -1: no current entry
    QTest::newRow("empty") << 0 << qsizetype(0) << qsizetype(-1);
    QTest::newRow("inside") << 5 << qsizetype(2) << qsizetype(2);
    QTest::newRow("past the end") << 10 << qsizetype(25) << qsizetype(9);
    QTest::newRow("negative") << 5 << qsizetype(-3) << qsizetype(0);
    QTest::newRow("empty with a start") << 0 << qsizetype(4) << qsizetype(-1);
}

void PlayQueueTest::loadQueue()
{
    QFETCH(int, count);
    QFETCH(qsizetype, startIndex);
    QFETCH(qsizetype, expected);
    for (const bool shuffle : {false, true}) {
        PlayContextRig rig(count);
        rig.context->setShuffleEnabled(shuffle);
        rig.context->setLastError(std::make_exception_ptr(CancellationError()));
        rig.context->setCurrentMetadata(TrackMetadata{.title = QStringLiteral("old")});
        rig.context->loadQueue(rig.tracks, startIndex, std::nullopt, std::nullopt, QStringLiteral("library"));

        QCOMPARE(rig.lines(), QStringList{QStringLiteral("loadQueue: %1 tracks, startIndex=%2").arg(count).arg(startIndex)});
        QCOMPARE(rig.context->queue(), rig.tracks);
        QCOMPARE(rig.context->queueID(), std::optional<QString>(QStringLiteral("library")));
        QVERIFY(!rig.context->lastError());
        QVERIFY(!rig.context->currentMetadata());
        QVERIFY(!rig.context->playingIndex());
        if (expected < 0) {
            QVERIFY(!rig.context->currentIndex());
            QVERIFY(!rig.context->currentTrack());
            QVERIFY(rig.context->shuffledIndices().isEmpty());
            QVERIFY(!rig.context->shufflePosition());
            continue;
        }
        QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(expected));
        QCOMPARE(rig.context->currentTrack(), std::optional<TrackRef>(rig.tracks[expected]));
        if (shuffle) {
            QVERIFY(isPermutation(rig.context->shuffledIndices(), count));
            QCOMPARE(rig.context->shuffledIndices().first(), expected);
            QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(0));
        } else {
            QVERIFY(rig.context->shuffledIndices().isEmpty());
            QVERIFY(!rig.context->shufflePosition());
        }
    }
}

void PlayQueueTest::loadQueueFitsTheHintsToTheTracks_data()
{
    QTest::addColumn<Hints>("hints");
    QTest::addColumn<QString>("resolveLine"); // for entry 2 of 3
    const QString uri = QStringLiteral("vez:track:Artist:Album:Track%202");
    QTest::newRow("none") << Hints() << QStringLiteral("resolveAndPlay: ") + uri;
    QTest::newRow("one each") << Hints{std::nullopt, QStringLiteral("b.fake"), QStringLiteral("c.fake")}
                              << QStringLiteral("resolveAndPlay: ") + uri + QStringLiteral(" (hint: c.fake)");
    QTest::newRow("too few are padded") << Hints{QStringLiteral("a.fake")} << QStringLiteral("resolveAndPlay: ") + uri;
    QTest::newRow("too many are cut")
        << Hints{std::nullopt, std::nullopt, QStringLiteral("c.fake"), QStringLiteral("d.fake")}
        << QStringLiteral("resolveAndPlay: ") + uri + QStringLiteral(" (hint: c.fake)");
}

void PlayQueueTest::loadQueueFitsTheHintsToTheTracks()
{
    QFETCH(Hints, hints);
    QFETCH(QString, resolveLine);
    PlayContextRig rig(3);
    // Relative hints without a playlist lead nowhere: the source resolves.
    rig.context->loadQueue(rig.tracks, 2, hints.isEmpty() ? std::nullopt : std::optional<Hints>(hints));
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    QVERIFY(rig.lines().contains(resolveLine));
    QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(2));

    // Appended entries get theirs fitted the same way, after the queue's own.
    const TrackRef extra(QStringLiteral("Artist"), QStringLiteral("Album"), QStringLiteral("Extra"));
    rig.source->addTrack(extra, SourceResult(SourceLocator::fileURL(QStringLiteral("/music/extra.fake")), "fake"));
    rig.context->appendToQueue({extra, extra}, hints);
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    const QString expected = QStringLiteral("resolveAndPlay: ") + extra.uri()
        + (hints.isEmpty() || !hints[0] ? QString() : QStringLiteral(" (hint: %1)").arg(*hints[0]));
    QCOMPARE(rig.lines().filter(QStringLiteral("resolveAndPlay: ")).last(), expected);
}

void PlayQueueTest::loadQueueLeavesThePlayingTrackAlone()
{
    PlayContextRig rig(4);
    QVERIFY(rig.startPlaying(1));
    QTRY_VERIFY(rig.context->currentMetadata());
    rig.output.clearCalls();

    rig.context->loadQueue(rig.tracks.mid(2), 0, std::nullopt, std::nullopt, QStringLiteral("playlist"));
    QVERIFY(rig.player.transportState().isPlaying());
    QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(1));
    QVERIFY(!rig.context->currentMetadata());
    QVERIFY(rig.output.calls().isEmpty());

    // Play now starts the new queue's entry, although a track plays.
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(2));
    QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(0));
    QTRY_COMPARE(rig.context->currentMetadata()->title, std::optional<QString>(QStringLiteral("Title 2")));
}

void PlayQueueTest::appendToQueue()
{
    PlayContextRig rig(4);
    QSignalSpy queueSpy(rig.context.get(), &PlayContext::queueChanged);
    rig.context->appendToQueue({});
    QVERIFY(rig.lines().isEmpty());
    QCOMPARE(queueSpy.size(), 0);
    QVERIFY(!rig.context->currentIndex());

    // With no current entry the first appended one becomes current.
    rig.context->appendToQueue(rig.tracks.mid(0, 2));
    QCOMPARE(rig.lines(), QStringList{QStringLiteral("appendToQueue: 2 tracks")});
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(0));
    rig.context->appendToQueue(rig.tracks.mid(2));
    QCOMPARE(rig.context->queue(), rig.tracks);
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(0));
    QCOMPARE(queueSpy.size(), 2);
    QVERIFY(rig.context->shuffledIndices().isEmpty());

    // An emptied queue makes the next append's first entry current.
    rig.context->loadQueue({}, 0);
    rig.context->appendToQueue(rig.tracks.mid(3));
    QCOMPARE(rig.context->currentTrack(), std::optional<TrackRef>(rig.tracks[3]));
}

void PlayQueueTest::appendUnderShufflePlaysTheNewEntriesNext()
{
    bool sawBothOrders[2] = {false, false};
    for (int run = 0; run < 40; ++run) {
        PlayContextRig rig(6);
        rig.context->setShuffleEnabled(true);
        const QList<TrackRef> firstFour = rig.tracks.mid(0, 4);
        rig.context->loadQueue(firstFour, 0);
        QVERIFY(rig.succeeds(PlaybackCommand::next()));
        QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(1));
        const QList<qsizetype> before = rig.context->shuffledIndices();

        rig.context->appendToQueue(rig.tracks.mid(4));
        const QList<qsizetype> after = rig.context->shuffledIndices();
        QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(1));
        QCOMPARE(after.size(), 6);
        QCOMPARE(after.first(2), before.first(2));
        QCOMPARE(after.sliced(4), before.sliced(2));
        QVERIFY((after[2] == 4 && after[3] == 5) || (after[2] == 5 && after[3] == 4));
        sawBothOrders[after[2] - 4] = true;
        if (run > 0)
            continue;
        // They play next, then the rest of the old order.
        QVERIFY(rig.succeeds(PlaybackCommand::next()));
        QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(after[2]));
    }
    QVERIFY(sawBothOrders[0] && sawBothOrders[1]);
}

void PlayQueueTest::appendUnderShuffleWithoutCurrentEntryStartsAFreshOrder()
{
    for (int run = 0; run < 20; ++run) {
        PlayContextRig rig(5);
        rig.context->setShuffleEnabled(true);
        rig.context->loadQueue({}, 0);
        rig.context->appendToQueue(rig.tracks);
        QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(0));
        QVERIFY(isPermutation(rig.context->shuffledIndices(), 5));
        QCOMPARE(rig.context->shuffledIndices().first(), 0);
        QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(0));
        // A pass of next moves through the other entries, never the current one again.
        QVERIFY(rig.succeeds(PlaybackCommand::play()));
        QList<qsizetype> played{0};
        for (int step = 0; step < 4; ++step) {
            QVERIFY(rig.succeeds(PlaybackCommand::next()));
            played.append(*rig.context->currentIndex());
        }
        QVERIFY(isPermutation(played, 5));
    }
}

void PlayQueueTest::shuffleOrders_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<qsizetype>("current"); // -1: none
    QTest::newRow("current entry") << 8 << qsizetype(3);
    QTest::newRow("no current entry") << 8 << qsizetype(-1);
    QTest::newRow("one entry") << 1 << qsizetype(0);
    QTest::newRow("empty") << 0 << qsizetype(-1);
}

void PlayQueueTest::shuffleOrders()
{
    QFETCH(int, count);
    QFETCH(qsizetype, current);
    PlayContextRig rig(count);
    rig.context->loadQueue(rig.tracks, 0);
    rig.context->setCurrentIndex(current < 0 ? std::nullopt : std::optional<qsizetype>(current));
    QSignalSpy shuffleSpy(rig.context.get(), &PlayContext::shuffleEnabledChanged);
    QSet<QList<qsizetype>> distinct;
    QList<QSet<qsizetype>> seenAtSlot(count);
    for (int round = 0; round < 300; ++round) {
        rig.context->setShuffleEnabled(true); // again and again: a new order each time
        const QList<qsizetype> order = rig.context->shuffledIndices();
        QVERIFY(isPermutation(order, count));
        if (current >= 0) {
            QCOMPARE(order.first(), current);
            QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(0));
        } else {
            QVERIFY(!rig.context->shufflePosition());
        }
        distinct.insert(order);
        for (qsizetype slot = 0; slot < order.size(); ++slot)
            seenAtSlot[slot].insert(order[slot]);
    }
    QCOMPARE(shuffleSpy.size(), 1);
    QCOMPARE(rig.context->currentIndex(), current < 0 ? std::nullopt : std::optional<qsizetype>(current));
    if (count == 8) {
        QVERIFY(distinct.size() > 200);
        // Every other entry turns up in every free slot.
        for (qsizetype slot = current >= 0 ? 1 : 0; slot < count; ++slot)
            QCOMPARE(seenAtSlot[slot].size(), current >= 0 ? count - 1 : count);
    }
    rig.context->setShuffleEnabled(false);
    QVERIFY(rig.context->shuffledIndices().isEmpty());
    QVERIFY(!rig.context->shufflePosition());
    QCOMPARE(shuffleSpy.size(), 2);
    QVERIFY(rig.player.transportState() == TransportState::idle());
}

void PlayQueueTest::restorePosition()
{
    PlayContextRig rig(4);
    QList<TrackRef> queue = rig.tracks;
    queue.append(rig.tracks[2]); // the same track twice
    rig.context->loadQueue(queue, 0);
    const TrackMetadata saved{.title = QStringLiteral("Saved")};

    rig.log.clear();
    rig.context->restorePosition(TrackRef(QStringLiteral("vez:track:Nobody:None:Nothing")), saved);
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(0));
    QVERIFY(!rig.context->currentMetadata());
    QVERIFY(rig.lines().isEmpty());

    rig.context->restorePosition(rig.tracks[2], saved);
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(2));
    QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(2));
    QCOMPARE(rig.context->currentMetadata(), std::optional<TrackMetadata>(saved));
    QCOMPARE(rig.lines(), QStringList{QStringLiteral("Restored position to index 2: ") + rig.tracks[2].uri()});
    QVERIFY(rig.output.calls().isEmpty());
    QVERIFY(rig.decoder->openCalls().isEmpty());

    rig.context->setShuffleEnabled(true);
    rig.context->restorePosition(rig.tracks[1], std::nullopt);
    QCOMPARE(rig.context->currentMetadata(), std::optional<TrackMetadata>(saved));
    QCOMPARE(rig.context->shuffledIndices().first(), 1);
    QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(0));
}

void PlayQueueTest::changeNotifications()
{
    PlayContextRig rig(3);
    PlayContext& context = *rig.context;
    QSignalSpy repeatSpy(&context, &PlayContext::repeatModeChanged);
    QSignalSpy metadataSpy(&context, &PlayContext::currentMetadataChanged);
    QSignalSpy errorSpy(&context, &PlayContext::lastErrorChanged);
    QSignalSpy indexSpy(&context, &PlayContext::currentIndexChanged);
    QSignalSpy trackSpy(&context, &PlayContext::currentTrackChanged);
    QSignalSpy idSpy(&context, &PlayContext::queueIDChanged);

    context.setRepeatMode(RepeatMode::off);
    context.setRepeatMode(next(context.repeatMode()));
    context.setRepeatMode(RepeatMode::all);
    QCOMPARE(repeatSpy.size(), 1);
    QVERIFY(context.repeatEnabled());

    // Fields without equality notify on every assignment.
    context.setCurrentMetadata(std::nullopt);
    context.setCurrentMetadata(std::nullopt);
    context.setLastError(nullptr);
    QCOMPARE(metadataSpy.size(), 2);
    QCOMPARE(errorSpy.size(), 1);

    context.loadQueue(rig.tracks, 1, std::nullopt, std::nullopt, QStringLiteral("library"));
    context.loadQueue(rig.tracks, 1, std::nullopt, std::nullopt, QStringLiteral("library"));
    QCOMPARE(indexSpy.size(), 1);
    QCOMPARE(trackSpy.size(), 1);
    QCOMPARE(idSpy.size(), 1);
    // Another track at the same position is another current track.
    context.setQueue({rig.tracks[2], rig.tracks[0]});
    QCOMPARE(indexSpy.size(), 1);
    QCOMPARE(trackSpy.size(), 2);
    QCOMPARE(context.currentTrack(), std::optional<TrackRef>(rig.tracks[0]));
}

QTEST_GUILESS_MAIN(PlayQueueTest)
#include "tst_playqueue.moc"
