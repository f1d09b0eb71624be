#include "VessaCore/Clock.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Player.h"
#include "VessaCore/PlayerError.h"
#include "VessaCore/VectorPcmBufferStream.h"

#include "tests/support/FakeAudioOutput.h"
#include "tests/support/LogCapture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <semaphore>

using namespace vessa;
using namespace std::chrono_literals;
using vessa::test::FakeAudioOutput;
using Op = FakeAudioOutput::Operation;

namespace {

const QString notSeekable = QStringLiteral("Seek is not supported for the current track");
constexpr AudioFormat testFormat(8000.0, 1, 4, false);

// What a ProbeStream did. A semaphore is released once: `blocked` when the
// stream waits at its end, `destroyed` when the task that held it ended.
struct Probe {
    std::atomic<int> pulls = 0;
    std::binary_semaphore blocked{0};
    std::binary_semaphore destroyed{0};
};

// Hands out `count` buffers (endless when negative), then ends or, with
// `blockAtEnd`, waits in next() until its stop token is triggered.
struct ProbeStream final : PcmBufferStream {
    ProbeStream(std::shared_ptr<Probe> probe, int count, bool blockAtEnd)
        : probe(std::move(probe)), count(count), blockAtEnd(blockAtEnd)
    {
    }
    ~ProbeStream() override { probe->destroyed.release(); }
    std::optional<PCMBuffer> next(std::stop_token stop) override
    {
        if (count < 0 || probe->pulls < count)
            return PCMBuffer(testFormat, {{float(++probe->pulls)}});
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
};

PcmBufferStreamPtr vectorStream(int count)
{
    return std::make_unique<VectorPcmBufferStream>(std::vector(std::size_t(count), PCMBuffer::silence(testFormat, 1)));
}

// The seek handler of the test's tracks; it refuses negative targets.
PcmBufferStreamPtr reopen(double to)
{
    return to < 0 ? throw test::FakeOutputError(QStringLiteral("refused")) : vectorStream(4);
}

bool isPolling(const Player& player)
{
    return player.clock()->findChild<QTimer*>()->isActive();
}

// A player over a fake output whose drain is held, so that streams do not end
// by themselves. It records the end hook's calls and the playback log.
struct Rig {
    test::LogCapture log;
    FakeAudioOutput output;
    std::optional<Player> player;
    QList<TransportState> statesAtEnd;

    Rig()
    {
        output.holdDrain();
        player.emplace(output);
        player->setOnTrackEnd([this] { statesAtEnd.append(player->transportState()); });
    }

    QStringList lines() const { return log.messages(QStringLiteral("com.tornwick.vessacore.playback")); }
    // The main-thread calls, without the scheduling task's.
    QString transportCalls() const
    {
        return output.callNames().filter(QRegularExpression("^(prepare|play|pause|stop|seek)$")).join(u',');
    }

    // Seeks and waits for the completion: the error's text, "" on success.
    QString seek(double to)
    {
        auto result = std::make_shared<std::optional<QString>>();
        player->seek(to, [result](std::exception_ptr error) { *result = error ? describeException(error) : QString(); });
        return QTest::qWaitFor([&] { return result->has_value(); }) ? **result : QStringLiteral("no completion");
    }

    // Runs comma-separated operations up to the first failure and gives its
    // text. A load waits until its stream is fed; "end" loads an empty stream
    // and lets it end; "seek<t>" seeks to t.
    QString run(const QString& script)
    {
        try {
            for (const QString& operation : script.split(u',', Qt::SkipEmptyParts)) {
                if (operation == u"load" || operation == u"unseekable") {
                    player->load(vectorStream(4), testFormat, 60.0, operation == u"load" ? reopen : SeekHandler());
                    if (!output.waitUntilBlocked())
                        return QStringLiteral("not fed");
                } else if (operation == u"end") {
                    output.releaseDrain();
                    player->load(vectorStream(0), testFormat, 60.0, reopen);
                    const bool ended = QTest::qWaitFor([&] { return !statesAtEnd.isEmpty(); });
                    output.holdDrain();
                    if (!ended)
                        return QStringLiteral("no end");
                } else if (operation.startsWith(u"seek")) {
                    if (const QString error = seek(operation.mid(4).toDouble()); !error.isEmpty())
                        return error;
                } else if (operation == u"play") {
                    player->play();
                } else if (operation == u"pause") {
                    player->pause();
                } else if (operation == u"stop") {
                    player->stop();
                } else {
                    return "unknown operation " + operation;
                }
            }
        } catch (const Error& error) {
            return error.description();
        }
        return QString();
    }
};

} // namespace

Q_DECLARE_METATYPE(vessa::TransportState)

class PlayerTest : public QObject {
    Q_OBJECT

private slots:
    void operations_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("failing"); // the output call that throws
        QTest::addColumn<TransportState>("expected");
        QTest::addColumn<bool>("polling");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("calls"); // the output's main-thread calls
        const auto row = [](const char* name, QString before, QString operation, QString failing,
                            TransportState expected, bool polling, QString error, QString calls) {
            QTest::newRow(name) << before << operation << failing << expected << polling << error << calls;
        };
        using S = TransportState;
        const QString failed = QStringLiteral("Fake output failure");

        row("new, load", "", "load", "", S::paused(0), false, "", "stop,prepare");
        row("new, play", "", "play", "", S::playing(1.5), true, "", "play");
        row("new, pause", "", "pause", "", S::paused(1.5), false, "", "pause");
        row("new, stop", "", "stop", "", S::idle(), false, "", "stop");
        row("playing, pause", "load,play", "pause", "", S::paused(1.5), false, "", "pause");
        row("playing, load", "load,play", "load", "", S::paused(0), false, "", "stop,prepare");
        row("playing, stop", "load,play", "stop", "", S::idle(), false, "", "stop");
        row("paused, play", "load,play,pause", "play", "", S::playing(1.5), true, "", "play");
        row("paused, pause again", "load,pause", "pause", "", S::paused(1.5), false, "", "pause");
        row("stopped, play", "load,stop", "play", "", S::playing(1.5), true, "", "play");
        // A failed operation changes no state; the clock was already reset for
        // the new track when the output refused to prepare it.
        row("load, stop fails", "load,play", "load", "stop", S::playing(1.5), true, failed, "stop");
        row("load, prepare fails", "load,play", "load", "prepare", S::playing(1.5), false, failed, "stop,prepare");
        row("play fails", "load", "play", "play", S::paused(0), false, failed, "play");
        row("pause fails", "load,play", "pause", "pause", S::playing(1.5), true, failed, "pause");
        row("stop fails", "load,play", "stop", "stop", S::playing(1.5), true, failed, "stop");

        row("new, seek", "", "seek8", "", S::idle(), false, notSeekable, "");
        row("stopped, seek", "load,stop", "seek8", "", S::idle(), false, notSeekable, "");
        row("no seek handler", "unseekable", "seek8", "", S::paused(0), false, notSeekable, "");
        row("paused, seek", "load,play,pause", "seek8", "", S::paused(8), false, "", "stop,prepare,seek");
        row("playing, seek", "load,play", "seek8", "", S::playing(8), true, "", "stop,prepare,seek,play");
        row("ended, seek", "end", "seek8", "", S::paused(8), false, "", "stop,prepare,seek");
        // Once the old stream is stopped, a failing seek leaves nothing
        // playing; when only the output's play fails, the new stream waits.
        row("seek, stop fails", "load,play", "seek8", "stop", S::idle(), false, failed, "stop");
        row("seek, handler fails", "load,play", "seek-8", "", S::idle(), false, "refused", "stop");
        row("seek, prepare fails", "load,play", "seek8", "prepare", S::idle(), false, failed, "stop,prepare");
        row("seek, output seek fails", "load,play", "seek8", "seek", S::idle(), false, failed, "stop,prepare,seek");
        row("seek, play fails", "load,play", "seek8", "play", S::paused(8), false, failed, "stop,prepare,seek,play");
    }

    void operations()
    {
        QFETCH(QString, before);
        QFETCH(QString, operation);
        QFETCH(QString, failing);
        QFETCH(TransportState, expected);
        QFETCH(QString, error);

        Rig rig;
        rig.output.setCurrentTime(1.5);
        QCOMPARE(rig.run(before), QString());
        const TransportState previous = rig.player->transportState();
        const double clockBefore = rig.player->clock()->position();
        const qsizetype endsBefore = rig.statesAtEnd.size();
        rig.output.clearCalls();
        QSignalSpy stateSpy(&*rig.player, &Player::transportStateChanged);
        const QMap<QString, Op> calls{{"stop", Op::stop}, {"prepare", Op::prepare}, {"play", Op::play},
                                      {"pause", Op::pause}, {"seek", Op::seek}};
        if (!failing.isEmpty())
            rig.output.failNext(calls.value(failing));

        QCOMPARE(rig.run(operation), error);
        QCOMPARE(rig.player->transportState(), expected);
        QCOMPARE(stateSpy.count(), previous == expected ? 0 : 1);
        QTEST(isPolling(*rig.player), "polling");
        QTEST(rig.transportCalls(), "calls");
        QVERIFY(!rig.player->lastError()); // the caller gets these errors
        QCoreApplication::processEvents();
        QCOMPARE(rig.statesAtEnd.size(), endsBefore);
        // A new stream is fed once the output is prepared for it.
        const bool fed = rig.transportCalls().contains("prepare") && (error.isEmpty() || failing == u"play");
        QTRY_COMPARE(rig.output.callNames().count("schedule"), fed ? 4 : 0);
        if (error.isEmpty() && (operation == u"load" || operation == u"stop"))
            QCOMPARE(rig.player->clock()->duration(), operation == u"load" ? std::optional(60.0) : std::nullopt);
        if (!operation.startsWith(u"seek") || expected.isPlaying() || error == notSeekable)
            return;
        // The clock keeps its old position until play; a failed seek keeps the
        // handler and the format, so the next one can succeed.
        QCOMPARE(rig.player->clock()->position(), clockBefore);
        QCOMPARE(rig.run(error.isEmpty() ? "play" : "seek9"), QString());
        QCOMPARE(rig.player->transportState(), error.isEmpty() ? TransportState::playing(8) : TransportState::paused(9));
        QCOMPARE(rig.player->clock()->position(), error.isEmpty() ? 8.0 : clockBefore);
    }

    void logLinesAndErrorTexts()
    {
        Rig rig;
        rig.player->load(vectorStream(0), AudioFormat::cdQuality(), std::nullopt, {});
        rig.player->load(vectorStream(0), AudioFormat::cdQuality(), 183.26, reopen);
        QCOMPARE(rig.run("play,pause,seek2.46,stop"), QString());
        QCOMPARE(rig.lines(), QStringList({"Loading track: 44100.000000Hz, 2ch, duration=-1.0s",
                                           "Loading track: 44100.000000Hz, 2ch, duration=183.3s", "Playback started",
                                           "Playback paused", "Seeking to 2.5s", "Playback stopped"}));
        QCOMPARE(PlayerError::noFormatAvailable().description(),
                 QStringLiteral("No audio format available -- was a track loaded?"));
    }

    void supersededSeek_data()
    {
        QTest::addColumn<QString>("newer");
        QTest::addColumn<TransportState>("expected");
        QTest::newRow("newer seek") << "seek2" << TransportState::paused(2.0);
        QTest::newRow("load") << "load" << TransportState::paused(0.0);
        QTest::newRow("stop") << "stop" << TransportState::idle();
    }

    void supersededSeek()
    {
        QFETCH(QString, newer);
        Rig rig;
        // The first seek's handler waits until the test lets it go, at the
        // latest before the player joins it.
        auto gate = std::make_shared<std::counting_semaphore<2>>(0);
        auto slowTarget = std::make_shared<Probe>();
        rig.player->load(vectorStream(1), testFormat, 60.0, [gate, slowTarget](double to) -> PcmBufferStreamPtr {
            if (to != 1.0)
                return vectorStream(4);
            gate->acquire();
            return std::make_unique<ProbeStream>(slowTarget, 4, false);
        });
        const auto openGate = qScopeGuard([gate] { gate->release(); });
        std::optional<QString> older;
        rig.player->seek(1.0, [&](std::exception_ptr error) { older = describeException(error); });
        QCOMPARE(rig.run(newer), QString());
        gate->release();

        QTRY_COMPARE(older, std::optional(CancellationError().description()));
        QVERIFY(slowTarget->destroyed.try_acquire_for(10s));
        QCOMPARE(slowTarget->pulls.load(), 0);
        QTEST(rig.player->transportState(), "expected");
        QCOMPARE(rig.output.callNames().count("seek"), newer.startsWith(u"seek") ? 1 : 0);
    }

    void reports_data()
    {
        QTest::addColumn<bool>("failure");
        QTest::addColumn<QString>("newer"); // what comes while the report is queued
        QTest::addColumn<TransportState>("expected");
        QTest::newRow("end") << false << "" << TransportState::idle();
        QTest::newRow("end, then load") << false << "load" << TransportState::paused(0);
        QTest::newRow("end, then seek") << false << "seek3" << TransportState::playing(3.0);
        QTest::newRow("end, then stop") << false << "stop" << TransportState::idle();
        QTest::newRow("failure") << true << "" << TransportState::idle();
        QTest::newRow("failure, then load") << true << "load" << TransportState::paused(0);
        QTest::newRow("failure, then stop") << true << "stop" << TransportState::idle();
    }

    void reports()
    {
        QFETCH(bool, failure);
        QFETCH(QString, newer);
        Rig rig;
        const QString refusal = QStringLiteral("Audio engine is not prepared for playback");
        if (failure)
            rig.output.failNext(Op::schedule, refusal);
        rig.output.releaseDrain();
        auto first = std::make_shared<Probe>();
        rig.player->load(std::make_unique<ProbeStream>(first, 3, false), testFormat, 5.0, reopen);
        rig.player->play();
        // The task drops its stream after posting its report; no event loop has
        // run since, so the report is still queued.
        QVERIFY(first->destroyed.try_acquire_for(10s));
        QCOMPARE(first->pulls.load(), failure ? 1 : 3); // nothing is taken after a refused buffer

        rig.output.holdDrain();
        QCOMPARE(rig.run(newer), QString());
        QCoreApplication::processEvents();
        QTEST(rig.player->transportState(), "expected");
        QCOMPARE(isPolling(*rig.player), rig.player->transportState().isPlaying());
        // Only a report of the current stream counts; the end hook runs once, after idle.
        const bool ended = newer.isEmpty() && !failure;
        const bool failed = newer.isEmpty() && failure;
        QCOMPARE(rig.statesAtEnd, ended ? QList<TransportState>{TransportState::idle()} : QList<TransportState>());
        QCOMPARE(rig.lines().contains(QStringLiteral("Track ended naturally")), ended);
        QCOMPARE(rig.player->lastError() ? rig.player->lastError()->description() : QString(),
                 failed ? "Audio scheduling failed: " + refusal : QString());
        QCOMPARE(rig.lines().contains("Scheduling error: " + refusal), failed);
        rig.player->play();
        QVERIFY(!rig.player->lastError());
    }

    void endWhileTaskBlocked_data()
    {
        QTest::addColumn<QString>("blockedIn");
        QTest::addColumn<QString>("operation");
        QTest::newRow("schedule, stop") << "schedule" << "stop";
        QTest::newRow("schedule woken only by the output's stop") << "schedule, deaf" << "stop";
        QTest::newRow("schedule, load") << "schedule" << "load";
        QTest::newRow("schedule, player destroyed") << "schedule" << "destroy";
        QTest::newRow("stream, stop") << "stream" << "stop";
        QTest::newRow("stream, load") << "stream" << "load";
        QTest::newRow("drain, stop") << "drain" << "stop";
    }

    void endWhileTaskBlocked()
    {
        QFETCH(QString, blockedIn);
        QFETCH(QString, operation);
        Rig rig;
        auto probe = std::make_shared<Probe>();
        rig.output.setCapacity(2);
        rig.output.setScheduleIgnoresStopToken(blockedIn.endsWith(u"deaf"));
        const bool schedule = blockedIn.startsWith(u"schedule");
        rig.player->load(std::make_unique<ProbeStream>(probe, schedule ? -1 : 1, blockedIn == u"stream"), testFormat,
                         5.0, {});
        if (blockedIn == u"stream")
            QVERIFY(probe->blocked.try_acquire_for(10s));
        else
            QVERIFY(rig.output.waitUntilBlocked(schedule ? Op::schedule : Op::waitForQueueDrained));
        // Back-pressure: two buffers accepted, the third waits; none pulled beyond it.
        QCOMPARE(probe->pulls.load(), schedule ? 3 : 1);
        rig.player->play();
        QCoreApplication::processEvents(); // nothing is reported before the drain

        if (operation == u"destroy")
            rig.player.reset();
        else
            QCOMPARE(rig.run(operation), QString());
        QVERIFY(probe->destroyed.try_acquire()); // the task has ended and dropped its stream
        QCoreApplication::processEvents();
        QVERIFY(rig.statesAtEnd.isEmpty());
        if (rig.player)
            QCOMPARE(rig.player->transportState(), operation == u"stop" ? TransportState::idle() : TransportState::paused(0));
    }

    void clock()
    {
        FakeAudioOutput output;
        output.setCurrentTime(2.5);
        Clock clock(output, 0.0015);
        QSignalSpy positionSpy(&clock, &Clock::positionChanged);
        QSignalSpy durationSpy(&clock, &Clock::durationChanged);
        QCOMPARE(clock.findChild<QTimer*>()->interval(), 1); // whole milliseconds, truncated
        QCOMPARE(Player(output).clock()->findChild<QTimer*>()->interval(), 100);
        // The first read happens at once; starting again changes nothing.
        clock.startPolling();
        clock.startPolling();
        QCOMPARE(clock.position(), 2.5);
        QCOMPARE(output.currentTimeReads(), 1);
        // Polls of an unchanged time publish nothing.
        QTRY_VERIFY(output.currentTimeReads() >= 5);
        QCOMPARE(positionSpy.count(), 1);
        output.setCurrentTime(3.0);
        QTRY_COMPARE(clock.position(), 3.0);
        QCOMPARE(positionSpy.count(), 2);

        // Once stopped, nothing is published while a second clock over the
        // same output shows that polls would have run.
        clock.stopPolling();
        clock.stopPolling();
        output.setCurrentTime(4.0);
        Clock witness(output, 0.001);
        const int reads = output.currentTimeReads();
        witness.startPolling();
        QTRY_VERIFY(output.currentTimeReads() >= reads + 5);
        QCOMPARE(clock.position(), 3.0);
        QCOMPARE(positionSpy.count(), 2);

        // The duration notifies only on change; reset stops polling and
        // clears both fields, with one notification each.
        clock.setDuration(std::nullopt);
        clock.setDuration(120.0);
        clock.setDuration(120.0);
        QCOMPARE(durationSpy.count(), 1);
        clock.startPolling();
        clock.reset();
        clock.reset();
        QVERIFY(!clock.findChild<QTimer*>()->isActive());
        QCOMPARE(clock.position(), 0.0);
        QCOMPARE(clock.duration(), std::nullopt);
        QCOMPARE(positionSpy.count(), 4); // 4.0 on the new start, then 0
        QCOMPARE(durationSpy.count(), 2);
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
