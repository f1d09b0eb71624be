#include "tests/support/PlayContextRig.h"

#include "VessaCore/Clock.h"
#include "VessaCore/PlayerError.h"

#include <QtTest>

#include <string_view>

using namespace vessa;
using namespace vessa::test;

namespace {

bool isIdle(const Player& player)
{
    return player.transportState() == TransportState::idle();
}

// One step through a five-track queue. `action`: next, previous, or end (the
// track ends by itself). `outcome`: plays, restarts, stops, stays, or fails
// (the entry it moves to has vanished).
struct Move {
    const char* name;
    RepeatMode repeat;
    qsizetype start;
    double position;
    std::string_view action;
    qsizetype expected;
    std::string_view outcome;
};

} // namespace

class PlayContextTest : public QObject {
    Q_OBJECT

private slots:
    void navigation_data()
    {
        QTest::addColumn<Move>("move");
        const Move moves[] = {
            {"next moves on", RepeatMode::off, 1, 0.0, "next", 2, "plays"},
            {"next wraps under all", RepeatMode::all, 4, 0.0, "next", 0, "plays"},
            {"next stops at the end", RepeatMode::off, 4, 0.0, "next", 4, "stops"},
            {"next moves on under one", RepeatMode::one, 1, 0.0, "next", 2, "plays"},
            {"next stops at the end under one", RepeatMode::one, 4, 0.0, "next", 4, "stops"},
            {"previous at 3.0 s goes back", RepeatMode::off, 2, 3.0, "previous", 1, "plays"},
            {"previous above 3.0 s restarts", RepeatMode::off, 2, 3.01, "previous", 2, "restarts"},
            {"previous on the first entry restarts", RepeatMode::all, 0, 0.0, "previous", 0, "restarts"},
            {"track end moves on", RepeatMode::off, 1, 0.0, "end", 2, "plays"},
            {"track end at the end stays", RepeatMode::off, 4, 0.0, "end", 4, "stays"},
            {"track end wraps under all", RepeatMode::all, 4, 0.0, "end", 0, "plays"},
            {"track end replays under one", RepeatMode::one, 2, 0.0, "end", 2, "plays"},
            {"next to a vanished track", RepeatMode::off, 0, 0.0, "next", 1, "fails"},
            {"track end to a vanished track", RepeatMode::all, 4, 0.0, "end", 0, "fails"},
        };
        for (const Move& move : moves)
            QTest::newRow(move.name) << move;
    }
    void navigation()
    {
        QFETCH(Move, move);
        const QString gone = move.outcome == "fails" ? QStringLiteral("No such file") : QString();
        PlayContextRig rig(5);
        rig.decoder->setHonoursHints(false); // streams end under repeat one too
        rig.context->setRepeatMode(move.repeat);
        if (!gone.isEmpty())
            rig.source->addFailingTrack(rig.tracks[move.expected], gone);
        QVERIFY(rig.startPlaying(move.start));
        rig.output.setCurrentTime(move.position);
        QTRY_COMPARE(rig.context->clock()->position(), move.position);
        const int started = rig.nowPlayingCount();
        rig.output.clearCalls();
        if (move.action == "end") {
            rig.endTrack();
            QTRY_VERIFY(rig.lines().contains(QStringLiteral("Auto-advance from index %1").arg(move.start)));
        } else {
            QCOMPARE(rig.run(move.action == "next" ? PlaybackCommand::next() : PlaybackCommand::previous()), gone);
        }
        // A failure reaches lastError, whether a command or a track end led there.
        QTRY_COMPARE(rig.lastError(), gone);
        if (!gone.isEmpty())
            QVERIFY(rig.lines().contains(QStringLiteral("Track not found: Track %1 - Artist").arg(move.expected)));
        if (move.outcome == "plays") {
            QVERIFY(rig.waitForNowPlaying(started + 1));
            QVERIFY(rig.player.transportState().isPlaying());
            QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(move.expected));
        } else if (move.outcome == "restarts") {
            QTRY_VERIFY(rig.player.transportState() == TransportState::playing(0.0));
            QCOMPARE(rig.decoder->seekPositions(), QList<double>{0.0});
        } else {
            QTRY_VERIFY(isIdle(rig.player));
            // A track that ends by itself leaves an idle player: nothing to stop.
            QCOMPARE(rig.output.callNames().contains(QStringLiteral("stop")), move.outcome != "stays");
            QCOMPARE(rig.nowPlayingCount(), started);
        }
        QCOMPARE(rig.context->currentIndex(), Index(move.expected));
        QCOMPARE(rig.context->playingIndex(), move.outcome == "plays" ? Index(move.expected)
                                              : gone.isEmpty()        ? Index(move.start)
                                                                      : std::nullopt);
    }

    void shuffleNavigation()
    {
        PlayContextRig rig(3);
        rig.context->setShuffleEnabled(true);
        QVERIFY(rig.startPlaying(1));
        const QList<qsizetype> order = rig.context->shuffledIndices();
        QCOMPARE(rig.run(PlaybackCommand::previous()), QString()); // the first slot: restarts, never wraps
        QCOMPARE(rig.decoder->seekPositions(), QList<double>{0.0});
        rig.endTrack(); // a track end moves to the next slot
        QTRY_COMPARE(rig.context->playingIndex(), Index(order[1]));
        // To slot 2, back to 1, to 2, and at the end of the order: stop,
        for (const auto& command :
             {PlaybackCommand::next(), PlaybackCommand::previous(), PlaybackCommand::next(), PlaybackCommand::next()})
            QCOMPARE(rig.run(command), QString());
        QVERIFY(rig.lines().contains(QStringLiteral("previous (shuffle): index %1").arg(order[1])));
        QVERIFY(isIdle(rig.player) && rig.context->playingIndex() == order[2]);
        rig.context->setRepeatMode(RepeatMode::all); // or wrap to the same order
        QCOMPARE(rig.run(PlaybackCommand::next()), QString());
        QCOMPARE(rig.context->playingIndex(), Index(order[0]));
        QCOMPARE(rig.context->shuffledIndices(), order);
    }

    void playResumesOrResolves()
    {
        PlayContextRig rig(4);
        // Nothing loaded: previous on the first entry has nothing to restart, and no error.
        rig.context->loadQueue(rig.tracks, 0);
        QCOMPARE(rig.run(PlaybackCommand::previous()), QString());
        rig.context->loadQueue({}, 0); // nothing queued: play only resumes the player, which has nothing
        QCOMPARE(rig.run(PlaybackCommand::play()), QString());
        QVERIFY(rig.lines().contains(QStringLiteral("play: resuming current playback")));
        QVERIFY(isIdle(rig.player));
        QVERIFY(rig.startPlaying(1));
        QCOMPARE(rig.run(PlaybackCommand::pause()), QString());
        QCOMPARE(rig.run(PlaybackCommand::play()), QString());
        QVERIFY(rig.player.transportState().isPlaying() && rig.openCount() == 1);
        // A new queue leaves the playing track alone, but play then starts its entry.
        QTRY_VERIFY(rig.context->currentMetadata());
        rig.context->loadQueue(rig.tracks, 0);
        rig.context->restorePosition(rig.tracks[2], std::nullopt);
        QVERIFY(rig.player.transportState().isPlaying() && !rig.context->currentMetadata());
        QCOMPARE(rig.context->playingIndex(), Index(2)); // restored, though track 1 plays
        QCOMPARE(rig.run(PlaybackCommand::play()), QString());
        QVERIFY(rig.lines().contains(QStringLiteral("play: resolving track at index 2")));
        // After stopping at the end of the queue, play starts the last entry again.
        for (const auto& command : {PlaybackCommand::next(), PlaybackCommand::next()})
            QCOMPARE(rig.run(command), QString());
        QVERIFY(isIdle(rig.player));
        QCOMPARE(rig.run(PlaybackCommand::play()), QString());
        QCOMPARE(rig.openCount(), 4);
        QCOMPARE(rig.lastOpenedPath(), PlayContextRig::path(3));
    }

    // A track that could not be played leaves nothing loaded: pause changes
    // nothing, and play tries the track again, failing again while it is
    // missing and playing it once it is back; never playing meanwhile.
    void pauseAndPlayAfterAFailedPlay()
    {
        PlayContextRig rig(2);
        const QString gone = QStringLiteral("No such file");
        rig.source->addFailingTrack(rig.tracks[0], gone);
        rig.context->loadQueue(rig.tracks, 0);
        QCOMPARE(rig.run(PlaybackCommand::play()), gone);
        QSignalSpy states(rig.context.get(), &PlayContext::transportStateChanged);
        for (const auto& [command, outcome] :
             {std::pair(PlaybackCommand::pause(), QString()), std::pair(PlaybackCommand::play(), gone),
              std::pair(PlaybackCommand::pause(), QString()), std::pair(PlaybackCommand::play(), gone)}) {
            QCOMPARE(rig.run(command), outcome);
            QCOMPARE(rig.lastError(), outcome);
            QVERIFY(isIdle(rig.player));
        }
        QCOMPARE(states.count(), 0);
        QCOMPARE(rig.lines().count(QStringLiteral("Track not found: Track 0 - Artist")), 3);
        QVERIFY(!rig.output.callNames().contains(QStringLiteral("play")));
        rig.source->addTrack(rig.tracks[0], SourceResult(SourceLocator::fileURL(PlayContextRig::path(0)), "fake"));
        QCOMPARE(rig.run(PlaybackCommand::pause()), QString());
        QCOMPARE(rig.run(PlaybackCommand::play()), QString());
        QVERIFY(rig.player.transportState().isPlaying());
        QCOMPARE(rig.context->playingIndex(), Index(0));
    }

    void resolveAndPlayLogsTheRoad()
    {
        PlayContextRig rig(1);
        const QString uri = rig.tracks[0].uri();
        const TrackRef stage(QStringLiteral("Composer"), QStringLiteral("Game"), QStringLiteral("Stage"), 95, 2);
        QVERIFY(stage.uri().endsWith(QStringLiteral("#2")));
        rig.source->addTrack(stage, SourceResult(SourceLocator::fileURL(QStringLiteral("/music/game.fake")), "fake"));
        rig.tracks.append(stage);
        QVERIFY(rig.startPlaying(0));
        QTRY_COMPARE(rig.lines().size(), 6);
        QCOMPARE(rig.lines(),
                 (QStringList{"loadQueue: 2 tracks, startIndex=0", "execute: play", "play: resolving track at index 0",
                              "resolveAndPlay: " + uri, "Now playing: " + uri, "Metadata loaded for: " + uri}));
        QCOMPARE(rig.context->currentMetadata()->title, std::optional<QString>(QStringLiteral("Title 0")));
        const auto call = rig.decoder->openCalls().first();
        QVERIFY(call.hints && !call.hints->infiniteLoop && call.hints->fileExtension == QStringLiteral("fake"));
        // The open and the tag read got their workers' stops.
        QVERIFY(call.hints->stop.stop_possible() && rig.decoder->extractCalls().first().stop.stop_possible());
        // The next resolve replaces the earlier one, even a finished one. A
        // sub-track reaches the decoder and the tag reader; under repeat one
        // the decoder loops; tags that cannot be read are only logged.
        rig.output.setCapacity(2); // the looping stream never ends
        rig.context->setRepeatMode(RepeatMode::one);
        rig.decoder->failExtractions(QStringLiteral("no tags"));
        QCOMPARE(rig.run(PlaybackCommand::next()), QString());
        QVERIFY(rig.lines().contains(QStringLiteral("Cancelling previous resolve task")));
        QTRY_VERIFY(rig.lines().contains("Metadata load failed for " + stage.uri() + ": no tags"));
        QVERIFY(!rig.context->currentMetadata() && !rig.context->lastError());
        QVERIFY(rig.decoder->openCalls().last().hints->infiniteLoop);
        QCOMPARE(rig.decoder->openCalls().last().subTrackIndex, std::optional<qint64>(2));
        QCOMPARE(rig.decoder->extractCalls().last().subTrackIndex, std::optional<qint64>(2));
    }

    void quickNextCommandsPlayOnlyTheLast_data()
    {
        QTest::addColumn<int>("commands");
        QTest::newRow("two") << 2;
        QTest::newRow("four: the newest waiting one replaces the others") << 4;
    }
    void quickNextCommandsPlayOnlyTheLast()
    {
        QFETCH(int, commands);
        PlayContextRig rig(6);
        QVERIFY(rig.startPlaying(0));
        rig.decoder->blockOpens();
        QList<Outcome> outcomes{rig.start(PlaybackCommand::next())};
        QVERIFY(rig.decoder->waitForBlockedOpens(1));
        const std::stop_token blockedStop = rig.decoder->openCalls().last().hints->stop;
        QVERIFY(blockedStop.stop_possible() && !blockedStop.stop_requested());
        while (outcomes.size() < commands)
            outcomes.append(rig.start(PlaybackCommand::next()));
        // The blocked open is asked to stop at once: a decoder that watches
        // its hints' stop lets the newer track start without waiting for it.
        QVERIFY(blockedStop.stop_requested());
        // Until a new stream is loaded the old one plays on.
        QVERIFY(rig.context->playingIndex() == 0 && rig.player.transportState().isPlaying());
        rig.decoder->releaseOpens();
        for (const Outcome& outcome : outcomes)
            QTRY_VERIFY(outcome->has_value() && !**outcome);
        for (int i = 1; i < commands; ++i)
            QVERIFY(rig.lines().contains("resolveAndPlay cancelled (superseded): " + rig.tracks[i].uri()));
        QCOMPARE(rig.context->playingIndex(), Index(commands));
        // Only the blocked open and the last one ran; the superseded stream is gone.
        QCOMPARE(rig.openCount(), 3);
        QTRY_COMPARE(rig.decoder->liveStreamCount(), 1);
    }

    void failingSupersededResolveReportsNothing()
    {
        PlayContextRig rig(4);
        QVERIFY(rig.startPlaying(0));
        rig.decoder->blockOpens();
        Outcome outcome = rig.start(PlaybackCommand::next());
        QVERIFY(rig.decoder->waitForBlockedOpens(1));
        rig.context->loadQueue(rig.tracks, 3); // cancels the request
        rig.decoder->failOpens(QStringLiteral("broken file"));
        rig.decoder->releaseOpens();
        QTRY_VERIFY(outcome->has_value() && !**outcome);
        QVERIFY(!rig.context->lastError() && rig.player.transportState().isPlaying());
        QVERIFY(rig.context->playingIndex() == 0 && rig.lines().filter(QStringLiteral("Track not found")).isEmpty());
    }

    void seeking()
    {
        PlayContextRig rig(2);
        QVERIFY(rig.startPlaying(0));
        // A dragged scrubber: many seeks, the newest wins, none is an error.
        QList<Outcome> outcomes;
        for (const double to : {10.0, 20.0, 30.0, 42.5})
            outcomes.append(rig.start(PlaybackCommand::seek(to)));
        for (const Outcome& outcome : outcomes)
            QTRY_VERIFY(outcome->has_value() && !**outcome);
        QVERIFY(rig.player.transportState() == TransportState::playing(42.5));
        // A stream that cannot seek: the player's refusal reaches lastError; the next command clears it.
        rig.decoder->setScript(FakeStreamScript{.seekable = false});
        QCOMPARE(rig.run(PlaybackCommand::next()), QString());
        QCOMPARE(rig.run(PlaybackCommand::seek(30)), PlayerError::seekNotSupported().description());
        QCOMPARE(rig.lastError(), PlayerError::seekNotSupported().description());
        QCOMPARE(rig.run(PlaybackCommand::pause()), QString());
        QVERIFY(!rig.context->lastError());
    }

    void silentTracksDoNotLoopForever()
    {
        const std::tuple<RepeatMode, int, QString> cases[] = {
            {RepeatMode::one, 1, "autoAdvance: index 0 played no audio, not replaying"},
            {RepeatMode::all, 3, "autoAdvance: no track of the queue played audio, stopping"}};
        for (const auto& [repeat, opens, lastLine] : cases) {
            PlayContextRig rig(3);
            rig.output.setCallHook({});          // tracks end as soon as they are drained
            rig.decoder->setHonoursHints(false); // and end under repeat one too
            rig.decoder->setScript(FakeStreamScript{.bufferCount = 0});
            rig.context->setRepeatMode(repeat);
            rig.context->loadQueue(rig.tracks, 0);
            for (int pass = 1; pass <= 2; ++pass) { // each command starts a fresh count
                QCOMPARE(rig.run(PlaybackCommand::play()), QString());
                QTRY_COMPARE(rig.lines().count(lastLine), pass);
                QCoreApplication::processEvents();
                QVERIFY(rig.openCount() == pass * opens && isIdle(rig.player));
            }
        }
    }

    // Each track plays its buffers, then its decoder dies: the failure is
    // shown and play moves on, but a dying track is never replayed endlessly.
    // `lastLine` is written when the last track's end has been handled:
    // between two tracks the player is idle too, with the failure shown
    // while the next track opens.
    void aDecoderDyingMidTrackIsShownAndPlayMovesOn()
    {
        const std::tuple<RepeatMode, int, QString> cases[] = {
            {RepeatMode::off, 3, "Auto-advance from index 2"},
            {RepeatMode::one, 1, "autoAdvance: index 0 played no audio, not replaying"},
            {RepeatMode::all, 3, "autoAdvance: no track of the queue played audio, stopping"}};
        for (const auto& [repeat, opens, lastLine] : cases) {
            PlayContextRig rig(3);
            rig.output.setCallHook({});
            rig.decoder->setHonoursHints(false);
            rig.decoder->setScript(FakeStreamScript{.bufferCount = 2, .diesAtEnd = true});
            rig.context->setRepeatMode(repeat);
            rig.context->loadQueue(rig.tracks, 0);
            QCOMPARE(rig.run(PlaybackCommand::play()), QString());
            QTRY_COMPARE(rig.lines().count(lastLine), 1);
            QVERIFY(isIdle(rig.player));
            QCOMPARE(rig.openCount(), opens);
            QCOMPARE(rig.lastError(), "The decoder stopped unexpectedly");
            QCOMPARE(rig.output.callNames().count("schedule"), 2 * opens); // what was decoded played
            QTest::qWait(50);
            QCOMPARE(rig.openCount(), opens);
        }
    }
};

QTEST_GUILESS_MAIN(PlayContextTest)
#include "tst_playcontext.moc"
