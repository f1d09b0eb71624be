#include "tests/Oblin/PlayContextRig.h"

#include "VessaCore/Clock.h"
#include "VessaCore/PlayerError.h"

#include <QtTest>

using namespace vessa;
using namespace vessa::test;

namespace {

QString indexLine(const QString& prefix, qsizetype index)
{
    return prefix + QString::number(index);
}

bool outputWasStopped(const FakeAudioOutput& output)
{
    return output.callNames().contains(QStringLiteral("stop"));
}

// Tags whose reading waits until the test lets it finish; the title is the path.
class GatedExtractor : public MetadataExtractor {
public:
    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64>) override
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_open; });
        --m_waiting;
        return TrackMetadata{.title = locator.path()};
    }
    bool waitForReaders(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_waiting >= count; });
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_waiting = 0;
    bool m_open = false;
};

} // namespace

class PlayContextTest : public QObject {
    Q_OBJECT

private slots:
    void navigation_data();
    void navigation();
    void shuffleNavigation();
    void playResumesOrResolves();
    void resolveAndPlayLogsTheRoad();
    void quickNextCommandsPlayOnlyTheLast_data();
    void quickNextCommandsPlayOnlyTheLast();
    void failingSupersededResolveReportsNothing();
    void repeatOneOpensLoopingStreams();
    void vanishedTrack_data();
    void vanishedTrack();
    void subTrackIndexReachesDecoderAndTags();
    void metadataFailureIsOnlyLogged();
    void staleMetadataIsDropped();
    void seeking();
    void silentTracksDoNotLoopForever_data();
    void silentTracksDoNotLoopForever();
    void destroyingTheContextWhileResolving();
};

void PlayContextTest::navigation_data()
{
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<qsizetype>("start");
    QTest::addColumn<double>("position");
    QTest::addColumn<QString>("action"); // next, previous, or end (the track ends by itself)
    QTest::addColumn<qsizetype>("expected");
    QTest::addColumn<QString>("outcome"); // plays, restarts, stops, stays

    QTest::newRow("next moves on") << "off" << qsizetype(1) << 0.0 << "next" << qsizetype(2) << "plays";
    QTest::newRow("next wraps under all") << "all" << qsizetype(4) << 0.0 << "next" << qsizetype(0) << "plays";
    QTest::newRow("next stops at the end") << "off" << qsizetype(4) << 0.0 << "next" << qsizetype(4) << "stops";
    QTest::newRow("next moves on under one") << "one" << qsizetype(1) << 0.0 << "next" << qsizetype(2) << "plays";
    QTest::newRow("next stops at the end under one") << "one" << qsizetype(4) << 0.0 << "next" << qsizetype(4)
                                                     << "stops";
    QTest::newRow("previous at 3.0 s goes back") << "off" << qsizetype(2) << 3.0 << "previous" << qsizetype(1)
                                                 << "plays";
    QTest::newRow("previous above 3.0 s restarts") << "off" << qsizetype(2) << 3.01 << "previous" << qsizetype(2)
                                                   << "restarts";
    QTest::newRow("previous on the first entry restarts") << "all" << qsizetype(0) << 0.0 << "previous"
                                                          << qsizetype(0) << "restarts";
    QTest::newRow("track end moves on") << "off" << qsizetype(1) << 0.0 << "end" << qsizetype(2) << "plays";
    QTest::newRow("track end at the end stays") << "off" << qsizetype(4) << 0.0 << "end" << qsizetype(4) << "stays";
    QTest::newRow("track end wraps under all") << "all" << qsizetype(4) << 0.0 << "end" << qsizetype(0) << "plays";
    QTest::newRow("track end replays under one") << "one" << qsizetype(2) << 0.0 << "end" << qsizetype(2)
                                                 << "plays";
}

void PlayContextTest::navigation()
{
    QFETCH(QString, repeat);
    QFETCH(qsizetype, start);
    QFETCH(double, position);
    QFETCH(QString, action);
    QFETCH(qsizetype, expected);
    QFETCH(QString, outcome);

    PlayContextRig rig(5);
    rig.decoder->setHonoursHints(false); // streams end under repeat one too
    rig.context->setRepeatMode(*repeatModeFromString(repeat));
    QVERIFY(rig.startPlaying(start));
    if (position > 0) {
        rig.output.setCurrentTime(position);
        QTRY_COMPARE(rig.context->clock()->position(), position);
    }
    const int started = rig.nowPlayingCount();
    rig.output.clearCalls();

    if (action == QLatin1String("end")) {
        rig.endTrack();
        QTRY_VERIFY(rig.lines().contains(indexLine(QStringLiteral("Auto-advance from index "), start)));
    } else {
        QVERIFY(rig.succeeds(action == QLatin1String("next") ? PlaybackCommand::next() : PlaybackCommand::previous()));
    }

    if (outcome == QLatin1String("plays")) {
        QVERIFY(rig.waitForNowPlaying(started + 1));
        QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(int(expected)));
        QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(expected));
        QVERIFY(rig.player.transportState().isPlaying());
    } else if (outcome == QLatin1String("restarts")) {
        QTRY_VERIFY(rig.player.transportState() == TransportState::playing(0.0));
        QCOMPARE(rig.decoder->seekPositions(), QList<double>{0.0});
        QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(start));
    } else {
        QTRY_VERIFY(rig.player.transportState() == TransportState::idle());
        // A track that ends by itself leaves an idle player: nothing to stop.
        QCOMPARE(outputWasStopped(rig.output), outcome == QLatin1String("stops"));
    }
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(expected));
    if (outcome != QLatin1String("plays"))
        QCOMPARE(rig.nowPlayingCount(), started);
    QVERIFY(!rig.context->lastError());
}

void PlayContextTest::shuffleNavigation()
{
    PlayContextRig rig(5);
    rig.context->setShuffleEnabled(true);
    QVERIFY(rig.startPlaying(3));
    const QList<qsizetype> order = rig.context->shuffledIndices();
    QCOMPARE(order.first(), 3);

    for (qsizetype slot = 1; slot < order.size(); ++slot) {
        QVERIFY(rig.succeeds(PlaybackCommand::next()));
        QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(order[slot]));
        QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(slot));
        QVERIFY(rig.lines().contains(indexLine(QStringLiteral("next (shuffle): index "), order[slot])));
    }
    // At the end of the order: stop, or wrap to the same order under repeat all.
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QVERIFY(rig.player.transportState() == TransportState::idle());
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(order.last()));
    rig.context->setRepeatMode(RepeatMode::all);
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(order[0]));
    QCOMPARE(rig.context->shuffledIndices(), order);
    QVERIFY(rig.lines().contains(indexLine(QStringLiteral("next (shuffle+repeat-all): wrapping to index "), order[0])));

    // Previous never wraps: at the first slot it restarts the track.
    QVERIFY(rig.succeeds(PlaybackCommand::previous()));
    QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(0));
    QCOMPARE(rig.decoder->seekPositions(), QList<double>{0.0});
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QVERIFY(rig.succeeds(PlaybackCommand::previous()));
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(order[0]));
    QVERIFY(rig.lines().contains(indexLine(QStringLiteral("previous (shuffle): index "), order[0])));

    // A track that ends moves to the next slot.
    const int started = rig.nowPlayingCount();
    rig.endTrack();
    QVERIFY(rig.waitForNowPlaying(started + 1));
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(order[1]));
    QCOMPARE(rig.context->shufflePosition(), std::optional<qsizetype>(1));
}

void PlayContextTest::playResumesOrResolves()
{
    PlayContextRig rig(3);
    // Nothing queued: play only resumes the player.
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    QVERIFY(rig.lines().contains(QStringLiteral("play: resuming current playback")));
    QCOMPARE(rig.openCount(), 0);

    QVERIFY(rig.startPlaying(1));
    QVERIFY(rig.succeeds(PlaybackCommand::pause()));
    QVERIFY(!rig.player.transportState().isPlaying());
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    QVERIFY(rig.player.transportState().isPlaying());
    QCOMPARE(rig.openCount(), 1);

    // A reloaded queue plays its entry from the start, though the same track is paused.
    QVERIFY(rig.succeeds(PlaybackCommand::pause()));
    rig.context->loadQueue(rig.tracks, 0);
    rig.context->restorePosition(rig.tracks[1], std::nullopt);
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    QCOMPARE(rig.openCount(), 2);
    QVERIFY(rig.lines().contains(QStringLiteral("play: resolving track at index 1")));

    // After stopping at the end of the queue, play starts the last entry again.
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QVERIFY(rig.player.transportState() == TransportState::idle());
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    QCOMPARE(rig.openCount(), 4);
    QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(2));
}

void PlayContextTest::resolveAndPlayLogsTheRoad()
{
    PlayContextRig rig(2);
    const QString uri = rig.tracks[0].uri();
    QVERIFY(rig.startPlaying(0));
    QTRY_VERIFY(rig.context->currentMetadata());
    QCOMPARE(rig.context->currentMetadata()->title, std::optional<QString>(QStringLiteral("Title 0")));
    QCOMPARE(rig.lines(), (QStringList{
                              QStringLiteral("loadQueue: 2 tracks, startIndex=0"),
                              QStringLiteral("execute: play"),
                              QStringLiteral("play: resolving track at index 0"),
                              QStringLiteral("resolveAndPlay: ") + uri,
                              QStringLiteral("Now playing: ") + uri,
                              QStringLiteral("Metadata loaded for: ") + uri,
                          }));
    const auto calls = rig.decoder->openCalls();
    QCOMPARE(calls.size(), 1);
    QVERIFY(calls[0].hints);
    QCOMPARE(calls[0].hints->infiniteLoop, false);
    QCOMPARE(calls[0].hints->fileExtension, std::optional<QString>(QStringLiteral("fake")));
    QVERIFY(!calls[0].subTrackIndex);

    // The next resolve says it replaces the earlier one, even a finished one.
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QVERIFY(rig.lines().contains(QStringLiteral("Cancelling previous resolve task")));
}

void PlayContextTest::quickNextCommandsPlayOnlyTheLast_data()
{
    QTest::addColumn<int>("commands");
    QTest::newRow("two") << 2;
    QTest::newRow("four") << 4;
}

void PlayContextTest::quickNextCommandsPlayOnlyTheLast()
{
    QFETCH(int, commands);
    PlayContextRig rig(6);
    QVERIFY(rig.startPlaying(0));
    QList<std::shared_ptr<std::optional<std::exception_ptr>>> outcomes{rig.startBlockedNext()};
    QVERIFY(outcomes.first());
    for (int i = 1; i < commands; ++i)
        outcomes.append(rig.start(PlaybackCommand::next()));
    // Until a new stream is loaded the old one plays on.
    QCoreApplication::processEvents();
    QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(0));
    QVERIFY(rig.player.transportState().isPlaying());
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(commands));

    rig.decoder->releaseOpens();
    for (const auto& outcome : outcomes) {
        QTRY_VERIFY(outcome->has_value());
        QVERIFY(!**outcome);
    }
    QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(commands));
    QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(commands));
    QVERIFY(!rig.context->lastError());
    QCOMPARE(rig.nowPlayingCount(), 2);
    for (int i = 1; i < commands; ++i)
        QVERIFY(rig.lines().contains(QStringLiteral("resolveAndPlay cancelled (superseded): ") + rig.tracks[i].uri()));
    // Only the blocked open and the last one ran; the superseded stream is gone.
    QCOMPARE(rig.openCount(), 3);
    QTRY_COMPARE(rig.decoder->liveStreamCount(), 1);
}

void PlayContextTest::failingSupersededResolveReportsNothing()
{
    PlayContextRig rig(4);
    QVERIFY(rig.startPlaying(0));
    auto first = rig.startBlockedNext();
    QVERIFY(first);
    rig.decoder->failOpens(QStringLiteral("broken file"));
    // A new queue cancels the request; its failure then counts for nothing.
    rig.context->loadQueue(rig.tracks, 3);
    rig.decoder->releaseOpens();
    QTRY_VERIFY(first->has_value());
    QVERIFY(!**first);
    QVERIFY(!rig.context->lastError());
    QVERIFY(rig.player.transportState().isPlaying());
    QCOMPARE(rig.context->playingIndex(), std::optional<qsizetype>(0));
    QVERIFY(rig.lines().filter(QStringLiteral("Track not found")).isEmpty());

    // With a newer request waiting, only the newer failure is reported.
    rig.decoder->failOpens(std::nullopt);
    rig.decoder->blockOpens();
    auto second = rig.start(PlaybackCommand::previous());
    QVERIFY(rig.decoder->waitForBlockedOpens(1));
    auto third = rig.start(PlaybackCommand::previous());
    rig.decoder->failOpens(QStringLiteral("broken file"));
    rig.decoder->releaseOpens();
    QTRY_VERIFY(third->has_value());
    QVERIFY(second->has_value());
    QVERIFY(!**second);
    QVERIFY(**third);
    QCOMPARE(describeException(**third), QStringLiteral("broken file"));
    QCOMPARE(rig.lines().filter(QStringLiteral("Track not found")),
             QStringList{QStringLiteral("Track not found: Track 1 - Artist")});
    QVERIFY(rig.context->lastError());
}

void PlayContextTest::repeatOneOpensLoopingStreams()
{
    PlayContextRig rig(3);
    rig.output.setCapacity(2); // the looping stream never ends
    rig.context->setRepeatMode(RepeatMode::one);
    QVERIFY(rig.startPlaying(0));
    QVERIFY(rig.decoder->openCalls().last().hints->infiniteLoop);
    QVERIFY(!rig.context->clock()->duration());

    // Changing the mode does not reopen what plays.
    rig.context->setRepeatMode(RepeatMode::off);
    QVERIFY(rig.succeeds(PlaybackCommand::pause()));
    QCOMPARE(rig.openCount(), 1);
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QCOMPARE(rig.decoder->openCalls().last().hints->infiniteLoop, false);
}

void PlayContextTest::vanishedTrack_data()
{
    QTest::addColumn<bool>("byItself"); // reached by a track end rather than a command
    QTest::newRow("next") << false;
    QTest::newRow("track end") << true;
}

void PlayContextTest::vanishedTrack()
{
    QFETCH(bool, byItself);
    PlayContextRig rig(3);
    rig.context->setRepeatMode(RepeatMode::all);
    rig.source->addFailingTrack(rig.tracks[1], QStringLiteral("The file /music/track1.fake does not exist."));
    QVERIFY(rig.startPlaying(0));

    if (byItself) {
        rig.endTrack();
        QTRY_VERIFY(rig.context->lastError());
    } else {
        QCOMPARE(rig.failure(PlaybackCommand::next()), QStringLiteral("The file /music/track1.fake does not exist."));
    }
    QCOMPARE(describeException(rig.context->lastError()),
             QStringLiteral("The file /music/track1.fake does not exist."));
    QVERIFY(rig.lines().contains(QStringLiteral("Track not found: Track 1 - Artist")));
    QVERIFY(rig.player.transportState() == TransportState::idle());
    QVERIFY(!rig.context->playingIndex());
    QCOMPARE(rig.context->currentIndex(), std::optional<qsizetype>(1));
    // The stopped player ends nothing more: no further advance.
    QCoreApplication::processEvents();
    QCOMPARE(rig.openCount(), 1);

    // Every command clears the error first, also one that succeeds.
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QVERIFY(!rig.context->lastError());
}

void PlayContextTest::subTrackIndexReachesDecoderAndTags()
{
    PlayContextRig rig(0);
    const TrackRef ref(QStringLiteral("Composer"), QStringLiteral("Game"), QStringLiteral("Stage"), 95, 2);
    QVERIFY(ref.uri().endsWith(QStringLiteral("#2")));
    rig.source->addTrack(ref, SourceResult(SourceLocator::fileURL(QStringLiteral("/music/game.fake")), "fake"));
    rig.decoder->setMetadata(QStringLiteral("/music/game.fake"), TrackMetadata{.title = QStringLiteral("Stage"),
                                                                                .subTrackIndex = 2});
    rig.context->loadQueue({ref}, 0);
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    QCOMPARE(rig.decoder->openCalls().last().subTrackIndex, std::optional<qint64>(2));
    QTRY_VERIFY(rig.context->currentMetadata());
    QCOMPARE(rig.context->currentMetadata()->subTrackIndex, std::optional<qint64>(2));
    const auto extractions = rig.decoder->extractCalls();
    QCOMPARE(extractions.size(), 1);
    QCOMPARE(extractions[0].subTrackIndex, std::optional<qint64>(2));
    QCOMPARE(extractions[0].locator.path(), QStringLiteral("/music/game.fake"));
}

void PlayContextTest::metadataFailureIsOnlyLogged()
{
    PlayContextRig rig(2);
    rig.decoder->failExtractions(QStringLiteral("no tags here"));
    QVERIFY(rig.startPlaying(0));
    const QString line = QStringLiteral("Metadata load failed for %1: no tags here").arg(rig.tracks[0].uri());
    QTRY_VERIFY(rig.lines().contains(line));
    QVERIFY(!rig.context->currentMetadata());
    QVERIFY(!rig.context->lastError());
    QVERIFY(rig.player.transportState().isPlaying());
}

void PlayContextTest::staleMetadataIsDropped()
{
    auto extractor = std::make_shared<GatedExtractor>();
    PlayContextRig rig(3, extractor);
    QStringList titles;
    connect(rig.context.get(), &PlayContext::currentMetadataChanged, this, [&] {
        const auto& metadata = rig.context->currentMetadata();
        titles.append(metadata ? metadata->title.value_or(QString()) : QStringLiteral("none"));
    });
    QVERIFY(rig.startPlaying(0));
    QVERIFY(extractor->waitForReaders(1));
    // The next track's resolve makes the first track's tags stale.
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QVERIFY(extractor->waitForReaders(2));
    extractor->open();
    QTRY_COMPARE(titles.last(), PlayContextRig::path(1));
    QCOMPARE(titles, (QStringList{QStringLiteral("none"), QStringLiteral("none"), QStringLiteral("none"),
                                  PlayContextRig::path(1)}));
    QVERIFY(!rig.lines().contains(QStringLiteral("Metadata loaded for: ") + rig.tracks[0].uri()));
}

void PlayContextTest::seeking()
{
    PlayContextRig rig(2);
    QVERIFY(rig.startPlaying(0));
    // A dragged scrubber: many seeks, the newest wins, none is an error.
    QList<std::shared_ptr<std::optional<std::exception_ptr>>> outcomes;
    for (const double to : {10.0, 20.0, 30.0, 42.5})
        outcomes.append(rig.start(PlaybackCommand::seek(to)));
    for (const auto& outcome : outcomes) {
        QTRY_VERIFY(outcome->has_value());
        QVERIFY(!**outcome);
    }
    QVERIFY(rig.player.transportState() == TransportState::playing(42.5));
    QVERIFY(rig.decoder->seekPositions().contains(42.5));
    QVERIFY(!rig.context->lastError());
    QVERIFY(rig.lines().contains(QStringLiteral("execute: seek(to: 42.5)")));

    // A stream that cannot seek: the player's refusal reaches lastError.
    FakeStreamScript script;
    script.seekable = false;
    rig.decoder->setScript(script);
    QVERIFY(rig.succeeds(PlaybackCommand::next()));
    QCOMPARE(rig.failure(PlaybackCommand::seek(30)), PlayerError::seekNotSupported().description());
    QCOMPARE(describeException(rig.context->lastError()), PlayerError::seekNotSupported().description());
}

void PlayContextTest::silentTracksDoNotLoopForever_data()
{
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<int>("opens"); // before advancing stops
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("repeat one") << "one" << 1 << "autoAdvance: index 0 played no audio, not replaying";
    QTest::newRow("repeat all") << "all" << 3 << "autoAdvance: no track of the queue played audio, stopping";
}

void PlayContextTest::silentTracksDoNotLoopForever()
{
    QFETCH(QString, repeat);
    QFETCH(int, opens);
    QFETCH(QString, lastLine);
    PlayContextRig rig(3);
    rig.output.setCallHook({}); // tracks end as soon as they are drained
    rig.decoder->setHonoursHints(false); // and end under repeat one too
    FakeStreamScript empty;
    empty.bufferCount = 0;
    rig.decoder->setScript(empty);
    rig.context->setRepeatMode(*repeatModeFromString(repeat));
    rig.context->loadQueue(rig.tracks, 0);

    for (int pass = 1; pass <= 2; ++pass) {
        // Each command starts a fresh count.
        QVERIFY(rig.succeeds(PlaybackCommand::play()));
        QTRY_COMPARE(rig.lines().count(lastLine), pass);
        QCoreApplication::processEvents();
        QCOMPARE(rig.openCount(), pass * opens);
        QVERIFY(rig.player.transportState() == TransportState::idle());
    }

    // A track that gives audio is replayed, and starts the count again.
    rig.decoder->setScript(FakeStreamScript());
    rig.output.holdDrain();
    rig.output.setCallHook([&rig](const FakeAudioOutput::Call& call) {
        if (call.operation == FakeAudioOutput::Operation::prepare)
            rig.output.holdDrain();
    });
    QVERIFY(rig.succeeds(PlaybackCommand::play()));
    const int started = rig.nowPlayingCount();
    rig.endTrack();
    QVERIFY(rig.waitForNowPlaying(started + 1));
}

void PlayContextTest::destroyingTheContextWhileResolving()
{
    PlayContextRig rig(3);
    QVERIFY(rig.startPlaying(0));
    auto outcome = rig.startBlockedNext();
    QVERIFY(outcome);
    rig.decoder->releaseOpens();
    rig.context.reset(); // waits for the open, drops its stream
    QCoreApplication::processEvents();
    QVERIFY(!outcome->has_value());
    QCOMPARE(rig.decoder->liveStreamCount(), 1); // the player's own
    // The player outlives the context; its track end does nothing now.
    rig.endTrack();
    QTRY_VERIFY(rig.player.transportState() == TransportState::idle());
}

QTEST_GUILESS_MAIN(PlayContextTest)
#include "tst_playcontext.moc"
