#include "VessaCore/Clock.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Player.h"
#include "VessaCore/PlayerError.h"
#include "VessaCore/VectorPcmBufferStream.h"

#include "tests/support/FakeAudioOutput.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RefusedThreads.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <future>
#include <semaphore>

using namespace vessa;
using namespace std::chrono_literals;
using vessa::test::FakeAudioOutput;
using Op = FakeAudioOutput::Operation;

namespace {

const QString notSeekable = QStringLiteral("Seek is not supported for the current track");
const QString refusal = QStringLiteral("Audio engine is not prepared for playback");
const QString decoderDied = QStringLiteral("The decoder stopped unexpectedly");
const QMap<QString, QString> logged{{"load", "Loading track: 8000.000000Hz, 1ch, duration=60.3s"},
                                    {"unseekable", "Loading track: 8000.000000Hz, 1ch, duration=-1.0s"},
                                    {"play", "Playback started"},
                                    {"pause", "Playback paused"},
                                    {"stop", "Playback stopped"},
                                    {"seek8", "Seeking to 8.0s"},
                                    {"seek-8", "Seeking to -8.0s"},
                                    {"new, play", "Nothing to play: no track is loaded"},
                                    {"new, pause", "Nothing to pause: no track is loaded"},
                                    {"stopped, play", "Nothing to play: no track is loaded"},
                                    {"stopped, pause, play", "Nothing to play: no track is loaded"}};
constexpr AudioFormat testFormat(8000.0, 1, 4, false);

// What a ProbeStream did; `blocked`: it waits at its end; `destroyed`: its task ended.
struct Probe {
    std::atomic<int> pulls = 0;
    std::binary_semaphore blocked{0};
    std::binary_semaphore destroyed{0};
};

// Hands out `count` buffers (endless when negative), then ends or, with
// `blockAtEnd`, waits in next() until its stop token is triggered, or with
// `failAtEnd` throws as a decoder that died.
struct ProbeStream final : PcmBufferStream {
    ProbeStream(std::shared_ptr<Probe> probe, int count, bool blockAtEnd, bool failAtEnd = false)
        : probe(std::move(probe)), count(count), blockAtEnd(blockAtEnd), failAtEnd(failAtEnd)
    {
    }
    ~ProbeStream() override { probe->destroyed.release(); }
    std::optional<PCMBuffer> next(std::stop_token stop) override
    {
        if (count < 0 || probe->pulls < count)
            return PCMBuffer(testFormat, {{float(++probe->pulls)}});
        if (failAtEnd)
            throw test::FakeOutputError(decoderDied);
        if (blockAtEnd) {
            std::binary_semaphore woken{0};
            std::stop_callback wake(stop, [&] { woken.release(); });
            probe->blocked.release();
            woken.acquire();
        }
        return std::nullopt;
    }

    std::shared_ptr<Probe> probe;
    int count;
    bool blockAtEnd;
    bool failAtEnd;
};

PcmBufferStreamPtr vectorStream(int count)
{
    return std::make_unique<VectorPcmBufferStream>(std::vector(std::size_t(count), PCMBuffer::silence(testFormat, 1)));
}

// The seek handler of the test's tracks; it refuses negative targets.
PcmBufferStreamPtr reopen(double to, std::stop_token)
{
    return to < 0 ? throw test::FakeOutputError(QStringLiteral("refused")) : vectorStream(4);
}

// A player over a fake output whose drain is held, so that streams do not end
// by themselves. It records the end hook's calls and the playback log.
struct Rig {
    test::LogCapture log;
    FakeAudioOutput output;
    std::optional<Player> player;
    QList<TransportState> statesAtEnd;
    QStringList failuresAtEnd;

    Rig()
    {
        output.holdDrain();
        player.emplace(output);
        player->setOnTrackEnd([this](std::exception_ptr failure) {
            statesAtEnd.append(player->transportState());
            failuresAtEnd.append(failure ? describeException(failure) : QString());
        });
    }

    QStringList lines() const { return log.messages(QStringLiteral("com.tornwick.vessacore.playback")); }
    bool polling() const { return player->clock()->findChild<QTimer*>()->isActive(); }
    // The main-thread calls, without the scheduling task's.
    QString transportCalls() const
    {
        return output.callNames().filter(QRegularExpression("^(prepare|play|pause|stop|seek)$")).join(u',');
    }

    // Seeks and waits for the completion: the error's text, "" on success.
    QString seek(double to)
    {
        auto result = std::make_shared<std::optional<QString>>();
        player->seek(to, [result](std::exception_ptr e) { *result = e ? describeException(e) : QString(); });
        return QTest::qWaitFor([&] { return result->has_value(); }) ? **result : QStringLiteral("no completion");
    }

    // Runs comma-separated operations up to the first failure and gives its
    // text. A load waits until its stream is fed; "wait" handles what is
    // queued; "seek<t>" seeks to t.
    QString run(const QString& script)
    {
        try {
            for (const QString& operation : script.split(u',', Qt::SkipEmptyParts)) {
                QString error;
                if (operation == u"load")
                    player->load(vectorStream(4), testFormat, 60.26, reopen);
                else if (operation == u"unseekable")
                    player->load(vectorStream(4), testFormat, std::nullopt, {});
                else if (operation.startsWith(u"seek"))
                    error = seek(operation.mid(4).toDouble());
                else if (operation == u"play")
                    player->play();
                else if (operation == u"pause")
                    player->pause();
                else if (operation == u"stop")
                    player->stop();
                else if (operation == u"wait")
                    QCoreApplication::processEvents();
                else
                    error = "unknown operation " + operation;
                if (operation.contains(QRegularExpression("load|unseekable")) && !output.waitUntilBlocked())
                    error = QStringLiteral("not fed");
                if (!error.isEmpty())
                    return error;
            }
        } catch (const Error& error) {
            return error.description();
        }
        return QString();
    }
};

} // namespace

Q_DECLARE_METATYPE(vessa::TransportState)
Q_DECLARE_METATYPE(std::optional<vessa::test::FakeAudioOutput::Operation>)

class PlayerTest : public QObject {
    Q_OBJECT

    // What every stream-end case checks last, from the row's "ended",
    // "failed" and "expected": only a report of the current stream counts;
    // the end hook runs once, after idle, with the stream's failure; a refused
    // buffer is the last error until the next play.
    static void checkAfterwards(Rig& rig, bool streamFailed = false)
    {
        QFETCH(bool, ended);
        QFETCH(bool, failed);
        QCOMPARE(rig.statesAtEnd, ended ? QList<TransportState>{TransportState::idle()} : QList<TransportState>());
        QCOMPARE(rig.failuresAtEnd, ended ? QStringList{streamFailed ? decoderDied : QString()} : QStringList());
        QCOMPARE(rig.lines().contains(QStringLiteral("Track ended naturally")), ended && !streamFailed);
        QCOMPARE(rig.lines().contains("Track ended on a decoder failure: " + decoderDied), ended && streamFailed);
        QCOMPARE(rig.lines().contains("Scheduling error: " + refusal), failed);
        if (!rig.player)
            return;
        QTEST(rig.player->transportState(), "expected");
        QCOMPARE(rig.polling(), rig.player->transportState().isPlaying());
        QCOMPARE(rig.player->lastError() ? rig.player->lastError()->description() : QString(),
                 failed ? "Audio scheduling failed: " + refusal : QString());
        // Play resumes a loaded stream; after an end or a stop nothing is.
        const bool loaded = rig.player->transportState() != TransportState::idle();
        rig.player->play();
        QVERIFY(!rig.player->lastError());
        QCOMPARE(rig.player->transportState().isPlaying(), loaded);
        QCOMPARE(rig.polling(), loaded);
    }

private slots:
    void operations_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<std::optional<Op>>("failing"); // the output call that throws
        QTest::addColumn<TransportState>("expected");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("calls"); // the output's main-thread calls
        const auto row = [](const char* name, QString before, QString operation, std::optional<Op> failing,
                            TransportState expected, QString error, QString calls) {
            QTest::newRow(name) << before << operation << failing << expected << error << calls;
        };
        using S = TransportState;
        const QString failed = QStringLiteral("Fake output failure");

        row("new, load", "", "load", {}, S::paused(0), "", "stop,prepare");
        // With no stream loaded there is nothing to play or pause: the output
        // is left alone and the player stays idle.
        row("new, play", "", "play", {}, S::idle(), "", "");
        row("new, pause", "", "pause", {}, S::idle(), "", "");
        row("new, stop", "", "stop", {}, S::idle(), "", "stop");
        row("playing, pause", "load,play", "pause", {}, S::paused(1.5), "", "pause");
        row("playing, load", "load,play", "load", {}, S::paused(0), "", "stop,prepare");
        row("paused, play", "load,play,pause", "play", {}, S::playing(1.5), "", "play");
        row("paused, pause again", "load,pause", "pause", {}, S::paused(1.5), "", "pause");
        row("stopped, play", "load,stop", "play", {}, S::idle(), "", "");
        row("stopped, pause, play", "load,stop,pause", "play", {}, S::idle(), "", "");
        // A failed operation changes no state; the clock was already reset for
        // the new track when the output refused to prepare it.
        row("load, stop fails", "load,play", "load", Op::stop, S::playing(1.5), failed, "stop");
        row("load, prepare fails", "load,play", "load", Op::prepare, S::playing(1.5), failed, "stop,prepare");
        row("play fails", "load", "play", Op::play, S::paused(0), failed, "play");
        row("pause fails", "load,play", "pause", Op::pause, S::playing(1.5), failed, "pause");
        row("stop fails", "load,play", "stop", Op::stop, S::playing(1.5), failed, "stop");

        row("new, seek", "", "seek8", {}, S::idle(), notSeekable, "");
        row("stopped, seek", "load,stop", "seek8", {}, S::idle(), notSeekable, "");
        row("no seek handler", "unseekable", "seek8", {}, S::paused(0), notSeekable, "");
        row("new, load without duration or seek handler", "", "unseekable", {}, S::paused(0), "", "stop,prepare");
        row("paused, seek", "load,play,pause", "seek8", {}, S::paused(8), "", "stop,prepare,seek");
        row("playing, seek", "load,play", "seek8", {}, S::playing(8), "", "stop,prepare,seek,play");
        // Once the old stream is stopped, a failing seek leaves nothing
        // playing; when only the output's play fails, the new stream waits.
        row("seek, stop fails", "load,play", "seek8", Op::stop, S::idle(), failed, "stop");
        row("seek, handler fails", "load,play", "seek-8", {}, S::idle(), "refused", "stop");
        row("seek, prepare fails", "load,play", "seek8", Op::prepare, S::idle(), failed, "stop,prepare");
        row("seek, output seek fails", "load,play", "seek8", Op::seek, S::idle(), failed, "stop,prepare,seek");
        row("seek, play fails", "load,play", "seek8", Op::play, S::paused(8), failed, "stop,prepare,seek,play");
    }

    void operations()
    {
        QFETCH(QString, before);
        QFETCH(QString, operation);
        QFETCH(std::optional<Op>, failing);
        QFETCH(TransportState, expected);
        QFETCH(QString, error);

        Rig rig;
        rig.output.setCurrentTime(1.5);
        QCOMPARE(rig.run(before), QString());
        const TransportState previous = rig.player->transportState();
        const double clockBefore = rig.player->clock()->position();
        const qsizetype endsBefore = rig.statesAtEnd.size();
        const qsizetype linesBefore = rig.lines().size();
        rig.output.clearCalls();
        QSignalSpy stateSpy(&*rig.player, &Player::transportStateChanged);
        if (failing)
            rig.output.failNext(*failing);

        QCOMPARE(rig.run(operation), error);
        QCOMPARE(rig.lines().value(linesBefore), logged.value(QTest::currentDataTag(), logged.value(operation)));
        QCOMPARE(rig.player->transportState(), expected);
        QCOMPARE(stateSpy.count(), previous == expected ? 0 : 1);
        QCOMPARE(rig.polling(), expected.isPlaying() && failing != Op::prepare);
        QTEST(rig.transportCalls(), "calls");
        QVERIFY(!rig.player->lastError()); // the caller gets these errors
        QCoreApplication::processEvents();
        QCOMPARE(rig.statesAtEnd.size(), endsBefore);
        // A new stream is fed once the output is prepared for it.
        const bool fed = rig.transportCalls().contains("prepare") && (error.isEmpty() || failing == Op::play);
        QTRY_COMPARE(rig.output.callNames().count("schedule"), fed ? 4 : 0);
        if (error.isEmpty() && (operation == u"load" || operation == u"stop"))
            QCOMPARE(rig.player->clock()->duration(), operation == u"load" ? std::optional(60.26) : std::nullopt);
        if (!operation.startsWith(u"seek") || expected.isPlaying() || error == notSeekable)
            return;
        // The clock shows the target at once, even while paused or when only
        // the output's play failed; a failed seek keeps the old position, the
        // handler and the format, so the next one can succeed.
        const Clock& clock = *rig.player->clock();
        QCOMPARE(clock.position(), error.isEmpty() || failing == Op::play ? 8.0 : clockBefore);
        // As the device does, the output reads 0 until it has played from the
        // new place; the clock holds the target meanwhile.
        rig.output.setCurrentTime(0.0);
        QSignalSpy positionSpy(&clock, &Clock::positionChanged);
        QCOMPARE(rig.run(error.isEmpty() ? "play" : "seek9"), QString());
        QCOMPARE(rig.player->transportState(),
                 error.isEmpty() ? TransportState::playing(0) : TransportState::paused(9));
        QCOMPARE(clock.position(), error.isEmpty() ? 8.0 : 9.0);
        QCOMPARE(positionSpy.count(), error.isEmpty() ? 0 : 1);
        rig.output.setCurrentTime(8.25);
        if (error.isEmpty())
            QTRY_COMPARE(clock.position(), 8.25);
    }

    void noFormatText()
    {
        QCOMPARE(PlayerError::noFormatAvailable().description(), "No audio format available -- was a track loaded?");
    }

    // A stream that ends, dies or whose buffer the output refuses is reported once
    // its task is over; only a report of the current stream counts, and the
    // end hook runs once, after idle.
    void reportedEnds_data()
    {
        QTest::addColumn<bool>("refused");  // the output refuses the first buffer
        QTest::addColumn<bool>("dies");     // the stream throws after its two buffers
        QTest::addColumn<int>("pulls");     // both buffers taken, none after a refusal
        QTest::addColumn<QString>("newer"); // what comes next, while the report is still queued
        QTest::addColumn<bool>("ended");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<TransportState>("expected");
        using S = TransportState;
        QTest::newRow("end") << false << false << 2 << "" << true << false << S::idle();
        QTest::newRow("end, then load") << false << false << 2 << "load" << false << false << S::paused(0);
        QTest::newRow("end, then seek") << false << false << 2 << "seek3" << false << false << S::playing(3.0);
        QTest::newRow("end handled, then seek")
            << false << false << 2 << "wait,seek3" << true << false << S::paused(3.0);
        QTest::newRow("end, then stop") << false << false << 2 << "stop" << false << false << S::idle();
        QTest::newRow("refused buffer") << true << false << 1 << "" << false << true << S::idle();
        QTest::newRow("refused buffer, then load") << true << false << 1 << "load" << false << false << S::paused(0);
        QTest::newRow("refused buffer, then stop") << true << false << 1 << "stop" << false << false << S::idle();
        QTest::newRow("decoder died") << false << true << 2 << "" << true << false << S::idle();
        QTest::newRow("decoder died, then load") << false << true << 2 << "load" << false << false << S::paused(0);
    }
    void reportedEnds()
    {
        QFETCH(bool, refused);
        QFETCH(bool, dies);
        QFETCH(QString, newer);
        QFETCH(int, pulls);
        Rig rig;
        if (refused)
            rig.output.failNext(Op::schedule, refusal);
        rig.output.releaseDrain();
        rig.output.setCapacity(2);
        auto probe = std::make_shared<Probe>();
        rig.player->load(std::make_unique<ProbeStream>(probe, 2, false, dies), testFormat, 5.0, reopen);
        // A reporting task drops its stream after posting: the report is queued.
        QVERIFY(probe->destroyed.try_acquire_for(10s));
        QCOMPARE(probe->pulls.load(), pulls);
        rig.player->play();
        rig.output.holdDrain();
        QCOMPARE(rig.run(newer), QString());
        QCOMPARE(probe->pulls.load(), pulls);
        QCoreApplication::processEvents();
        checkAfterwards(rig, dies);
    }

    // A task blocked somewhere is stopped by a newer stop or load (or by the
    // player's end) without taking another buffer and without any report.
    void blockedTasksStop_data()
    {
        QTest::addColumn<int>("count");          // buffers in the stream, -1: endless
        QTest::addColumn<bool>("waitsInStream"); // the stream waits in next() at its end
        QTest::addColumn<bool>("deaf");          // the output's schedule ignores the stop token
        QTest::addColumn<int>("pulls");          // two accepted, the third waits when endless
        QTest::addColumn<QString>("newer");
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<TransportState>("expected");
        using S = TransportState;
        QTest::newRow("blocked in schedule, stop")
            << -1 << false << false << 3 << "stop" << false << false << false << S::idle();
        QTest::newRow("blocked in schedule, load")
            << -1 << false << false << 3 << "load" << false << false << false << S::paused(0);
        QTest::newRow("blocked in schedule, player destroyed")
            << -1 << false << false << 3 << "" << true << false << false << S::idle();
        QTest::newRow("blocked in schedule woken only by the output's stop")
            << -1 << false << true << 3 << "stop" << false << false << false << S::idle();
        QTest::newRow("blocked in the stream, stop")
            << 2 << true << false << 2 << "stop" << false << false << false << S::idle();
        QTest::newRow("blocked in the stream, load")
            << 2 << true << false << 2 << "load" << false << false << false << S::paused(0);
        QTest::newRow("blocked in the drain, stop")
            << 2 << false << false << 2 << "stop" << false << false << false << S::idle();
    }
    void blockedTasksStop()
    {
        QFETCH(int, count);
        QFETCH(bool, waitsInStream);
        QFETCH(bool, deaf);
        QFETCH(int, pulls);
        QFETCH(QString, newer);
        QFETCH(bool, destroy);
        Rig rig;
        rig.output.setCapacity(2);
        rig.output.setScheduleIgnoresStopToken(deaf);
        auto probe = std::make_shared<Probe>();
        rig.player->load(std::make_unique<ProbeStream>(probe, count, waitsInStream), testFormat, 5.0, reopen);
        QVERIFY(waitsInStream ? probe->blocked.try_acquire_for(10s) : rig.output.waitUntilBlocked());
        // Back-pressure: two buffers accepted, the third waits.
        QCOMPARE(probe->pulls.load(), pulls);
        rig.player->play();
        QCoreApplication::processEvents(); // nothing is reported before the drain
        rig.output.holdDrain();
        if (destroy)
            rig.player.reset();
        else
            QCOMPARE(rig.run(newer), QString());
        // The first stream is gone, without another buffer taken.
        QVERIFY(probe->destroyed.try_acquire_for(10s));
        QCOMPARE(probe->pulls.load(), pulls);
        QCoreApplication::processEvents();
        checkAfterwards(rig);
    }

    // The seek handler opens the first stream; a newer seek, load or stop
    // supersedes the seek, whose completion then gets a CancellationError and
    // whose handler is asked to stop.
    void supersededSeeks_data()
    {
        QTest::addColumn<QString>("newer");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<TransportState>("expected");
        using S = TransportState;
        QTest::newRow("seeking, newer seek") << "seek3" << false << false << S::playing(3.0);
        QTest::newRow("seeking, load") << "load" << false << false << S::paused(0);
        QTest::newRow("seeking, stop") << "stop" << false << false << S::idle();
    }
    void supersededSeeks()
    {
        QFETCH(QString, newer);
        Rig rig;
        rig.output.setCapacity(2);
        auto probe = std::make_shared<Probe>();
        auto first = std::make_shared<PcmBufferStreamPtr>(std::make_unique<ProbeStream>(probe, 2, false));
        // The handler waits until the test lets it go, at the latest before the player joins it.
        auto gate = std::make_shared<std::counting_semaphore<2>>(0);
        const auto openGate = qScopeGuard([gate] { gate->release(); });
        std::optional<QString> older;
        std::promise<std::stop_token> olderStop;
        rig.player->load(vectorStream(1), testFormat, 5.0, [gate, first, &olderStop](double to, std::stop_token stop) {
            if (to == 1.0)
                olderStop.set_value(stop);
            return to == 1.0 && gate->try_acquire_for(10s) ? std::move(*first) : vectorStream(4);
        });
        rig.output.setCurrentTime(3.5);
        rig.player->play();
        rig.player->pause();
        rig.player->seek(1.0, [&](std::exception_ptr error) { older = describeException(error); });
        std::future<std::stop_token> runningStop = olderStop.get_future();
        QCOMPARE(runningStop.wait_for(10s), std::future_status::ready);
        const std::stop_token handlerStop = runningStop.get();
        QVERIFY(handlerStop.stop_possible() && !handlerStop.stop_requested());
        QCOMPARE(probe->pulls.load(), 0);
        // The stopped output reads 0: the clock keeps the old position.
        rig.output.setCurrentTime(0.0);
        rig.player->play();
        QCoreApplication::processEvents();
        QCOMPARE(rig.player->clock()->position(), 3.5);
        rig.output.holdDrain();
        QCOMPARE(rig.run(newer), QString());
        QVERIFY(handlerStop.stop_requested());
        gate->release();
        QTRY_COMPARE(older, std::optional(CancellationError().description()));
        // The first stream is gone, without a buffer taken.
        QVERIFY(probe->destroyed.try_acquire_for(10s));
        QCOMPARE(probe->pulls.load(), 0);
        QCoreApplication::processEvents();
        checkAfterwards(rig);
    }

    // A seek whose new stream finds no thread to feed it fails through its
    // completion and nothing plays; once threads may start, seeking works.
    void refusedSchedulingThreadFailsTheSeek()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        Rig rig;
        // The handler runs on a thread that started; the stream it opens finds none.
        auto gate = std::make_shared<std::binary_semaphore>(0);
        rig.player->load(vectorStream(1), testFormat, 5.0, [gate](double to, std::stop_token) {
            if (to == 2.0)
                gate->try_acquire_for(10s);
            return vectorStream(4);
        });
        rig.player->play();
        std::optional<QString> seeked;
        rig.player->seek(2.0, [&seeked](std::exception_ptr error) { seeked = describeException(error); });
        std::optional<test::RefusedThreads> refusal(std::in_place);
        gate->release();
        QTRY_VERIFY(seeked.has_value());
        QCOMPARE(*seeked, test::RefusedThreads::refusalText());
        QCOMPARE(rig.player->transportState(), TransportState::idle());
        QVERIFY(!rig.polling());
        refusal.reset();
        QCOMPARE(rig.run("seek3,play"), QString());
        QVERIFY(rig.player->transportState().isPlaying());
    }

    void clock()
    {
        FakeAudioOutput output;
        output.setCurrentTime(2.5);
        Clock clock(output, 0.0015);
        QCOMPARE(Player(output).clock()->findChild<QTimer*>()->interval(), 100);
        QTimer* timer = clock.findChild<QTimer*>();
        QCOMPARE(timer->interval(), 1); // whole milliseconds, truncated
        QSignalSpy polls(timer, &QTimer::timeout);
        QSignalSpy positionSpy(&clock, &Clock::positionChanged);
        QSignalSpy durationSpy(&clock, &Clock::durationChanged);
        // The first read happens at once; polls of an unchanged time publish nothing.
        clock.startPolling();
        clock.startPolling();
        QCOMPARE(clock.position(), 2.5);
        QTRY_VERIFY(polls.count() >= 5);
        QCOMPARE(positionSpy.count(), 1);
        output.setCurrentTime(3.0);
        QTRY_COMPARE(clock.position(), 3.0);
        QCOMPARE(positionSpy.count(), 2);
        // The timer is the only publisher: stopped, it publishes nothing more.
        clock.stopPolling();
        clock.stopPolling();
        QVERIFY(!timer->isActive());

        // The duration notifies only on change; reset stops polling and clears both.
        clock.setDuration(120.0);
        clock.setDuration(120.0);
        clock.startPolling();
        clock.reset();
        QVERIFY(!timer->isActive() && clock.position() == 0.0 && !clock.duration());
        QCOMPARE(durationSpy.count(), 2);
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
