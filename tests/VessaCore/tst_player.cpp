#include "VessaCore/Clock.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Player.h"
#include "VessaCore/PlayerError.h"
#include "VessaCore/VectorPcmBufferStream.h"

#include "tests/support/FakeAudioOutput.h"
#include "tests/support/LogCapture.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <condition_variable>
#include <mutex>

using namespace vessa;
using vessa::test::FakeAudioOutput;
using vessa::test::FakeOutputError;
using Op = FakeAudioOutput::Operation;

namespace {

const QString playbackCategory = QStringLiteral("com.tornwick.vessacore.playback");
constexpr AudioFormat testFormat(8000.0, 1, 4, false);

PCMBuffer bufferOf(float value)
{
    return PCMBuffer(testFormat, {{value}});
}

// What a ProbeStream did, readable from the test thread.
struct StreamProbe {
    std::mutex mutex;
    std::condition_variable_any changed;
    int pulls = 0;
    bool blocked = false;
    bool destroyed = false;

    int pullCount()
    {
        std::lock_guard lock(mutex);
        return pulls;
    }
    template <typename Predicate>
    bool waitFor(Predicate predicate)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), predicate);
    }
    bool isDestroyed()
    {
        std::lock_guard lock(mutex);
        return destroyed;
    }
    bool waitDestroyed() { return waitFor([this] { return destroyed; }); }
    bool waitBlocked() { return waitFor([this] { return blocked; }); }
};

// Hands out `count` buffers (endless when negative), then either finishes or,
// with `blockAtEnd`, waits in next() until its stop token is triggered.
class ProbeStream final : public PcmBufferStream {
public:
    ProbeStream(std::shared_ptr<StreamProbe> probe, int count, bool blockAtEnd = false)
        : m_probe(std::move(probe)), m_count(count), m_blockAtEnd(blockAtEnd)
    {
    }
    ~ProbeStream() override
    {
        std::lock_guard lock(m_probe->mutex);
        m_probe->destroyed = true;
        m_probe->changed.notify_all();
    }

    std::optional<PCMBuffer> next(std::stop_token stop) override
    {
        std::unique_lock lock(m_probe->mutex);
        if (m_count < 0 || m_probe->pulls < m_count) {
            ++m_probe->pulls;
            m_probe->changed.notify_all();
            return bufferOf(static_cast<float>(m_probe->pulls));
        }
        if (m_blockAtEnd) {
            m_probe->blocked = true;
            m_probe->changed.notify_all();
            m_probe->changed.wait(lock, stop, [] { return false; });
        }
        return std::nullopt;
    }

private:
    std::shared_ptr<StreamProbe> m_probe;
    int m_count;
    bool m_blockAtEnd;
};

PcmBufferStreamPtr probeStream(std::shared_ptr<StreamProbe> probe, int count, bool blockAtEnd = false)
{
    return std::make_unique<ProbeStream>(std::move(probe), count, blockAtEnd);
}

PcmBufferStreamPtr vectorStream(int count)
{
    std::vector<PCMBuffer> buffers;
    for (int i = 1; i <= count; ++i)
        buffers.push_back(bufferOf(static_cast<float>(i)));
    return std::make_unique<VectorPcmBufferStream>(std::move(buffers));
}

// A seek handler that opens a short stream at any position.
SeekHandler reopeningSeekHandler()
{
    return [](double) { return vectorStream(4); };
}

// Holds a worker thread until opened.
class Gate {
public:
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

bool isPolling(const Player& player)
{
    const QTimer* timer = player.clock()->findChild<QTimer*>();
    return timer && timer->isActive();
}

// Records the one completion of a seek.
struct SeekResult {
    bool done = false;
    std::exception_ptr error;

    Player::SeekCompletion completion()
    {
        return [this](std::exception_ptr e) {
            QVERIFY(!done);
            done = true;
            error = e;
        };
    }
    bool wait() { return QTest::qWaitFor([this] { return done; }); }
    QString text() const { return error ? describeException(error) : QString(); }
    bool cancelled() const
    {
        try {
            if (error)
                std::rethrow_exception(error);
        } catch (const CancellationError&) {
            return true;
        } catch (...) {
        }
        return false;
    }
};

std::optional<PlayerError::Kind> playerErrorKind(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const PlayerError& e) {
        return e.kind();
    } catch (...) {
    }
    return std::nullopt;
}

// The main-thread calls, without the scheduling task's.
QStringList transportCalls(const FakeAudioOutput& output)
{
    QStringList names = output.callNames();
    names.removeAll(QStringLiteral("schedule"));
    names.removeAll(QStringLiteral("waitForQueueDrained"));
    return names;
}

QList<double> seekTargets(const FakeAudioOutput& output)
{
    QList<double> targets;
    for (const FakeAudioOutput::Call& call : output.calls()) {
        if (call.operation == Op::seek)
            targets.append(call.seconds);
    }
    return targets;
}

// Runs a comma-separated list of transport operations; loads give a short,
// seekable stream.
void runOperations(Player& player, const QString& operations)
{
    for (const QString& operation : operations.split(u',', Qt::SkipEmptyParts)) {
        if (operation == u"load")
            player.load(vectorStream(4), testFormat, 60.0, reopeningSeekHandler());
        else if (operation == u"play")
            player.play();
        else if (operation == u"pause")
            player.pause();
        else if (operation == u"stop")
            player.stop();
        else
            QFAIL(qPrintable(operation));
    }
}

} // namespace

Q_DECLARE_METATYPE(vessa::TransportState)
Q_DECLARE_METATYPE(vessa::test::FakeAudioOutput::Operation)
Q_DECLARE_METATYPE(std::optional<double>)

class PlayerTest : public QObject {
    Q_OBJECT

private slots:
    void errorDescriptions();
    void transitions_data();
    void transitions();
    void failedOperationLeavesState_data();
    void failedOperationLeavesState();
    void loadLogsAndPrepares_data();
    void loadLogsAndPrepares();
    void transportLogLines();
    void pauseTwiceNotifiesOnce();
    void seekRefusedWithoutHandler_data();
    void seekRefusedWithoutHandler();
    void seekWhilePausedKeepsClockUntilPlay();
    void seekWhilePlaying();
    void seekAfterNaturalEnd();
    void supersededSeek_data();
    void supersededSeek();
    void seekFailure_data();
    void seekFailure();
    void naturalEndReportedOnceAfterIdle();
    void queuedReportIgnoredAfterNewerOperation_data();
    void queuedReportIgnoredAfterNewerOperation();
    void schedulingFailure();
    void backPressure();
    void stopWhileTaskBlocked_data();
    void stopWhileTaskBlocked();
    void destroyWhileTaskBlocked();
};

void PlayerTest::errorDescriptions()
{
    QCOMPARE(PlayerError::seekNotSupported().description(),
             QStringLiteral("Seek is not supported for the current track"));
    QCOMPARE(PlayerError::noFormatAvailable().description(),
             QStringLiteral("No audio format available -- was a track loaded?"));
    const auto underlying = std::make_exception_ptr(FakeOutputError(QStringLiteral("device gone")));
    QCOMPARE(PlayerError::schedulingFailed(underlying).description(),
             QStringLiteral("Audio scheduling failed: device gone"));
    QCOMPARE(QString::fromUtf8(PlayerError::schedulingFailed(underlying).what()),
             QStringLiteral("Audio scheduling failed: device gone"));
}

void PlayerTest::transitions_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<TransportState>("expected");
    QTest::addColumn<bool>("polling");

    QTest::newRow("new, load") << "" << "load" << TransportState::paused(0) << false;
    QTest::newRow("new, play") << "" << "play" << TransportState::playing(1.5) << true;
    QTest::newRow("new, pause") << "" << "pause" << TransportState::paused(1.5) << false;
    QTest::newRow("new, stop") << "" << "stop" << TransportState::idle() << false;
    QTest::newRow("loaded, play") << "load" << "play" << TransportState::playing(1.5) << true;
    QTest::newRow("playing, pause") << "load,play" << "pause" << TransportState::paused(1.5) << false;
    QTest::newRow("playing, load") << "load,play" << "load" << TransportState::paused(0) << false;
    QTest::newRow("playing, stop") << "load,play" << "stop" << TransportState::idle() << false;
    QTest::newRow("paused, play") << "load,play,pause" << "play" << TransportState::playing(1.5) << true;
    QTest::newRow("stopped, play") << "load,stop" << "play" << TransportState::playing(1.5) << true;
}

void PlayerTest::transitions()
{
    QFETCH(QString, before);
    QFETCH(QString, operation);
    QFETCH(TransportState, expected);
    QFETCH(bool, polling);

    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    runOperations(player, before);
    output.setCurrentTime(1.5);
    output.clearCalls();

    runOperations(player, operation);
    QCOMPARE(player.transportState(), expected);
    QCOMPARE(isPolling(player), polling);
    QCOMPARE(output.isPlaying(), expected.isPlaying());
    if (operation == u"load") {
        QCOMPARE(transportCalls(output), QStringList({"stop", "prepare"}));
        QCOMPARE(player.clock()->position(), 0.0);
        QCOMPARE(player.clock()->duration(), std::optional<double>(60.0));
    }
    if (operation == u"stop") {
        QCOMPARE(player.clock()->duration(), std::nullopt);
        SeekResult seek;
        player.seek(1.0, seek.completion());
        QVERIFY(seek.done);
        QCOMPARE(playerErrorKind(seek.error), PlayerError::Kind::seekNotSupported);
    }
}

void PlayerTest::failedOperationLeavesState_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<Op>("failing");
    QTest::addColumn<bool>("polling");

    QTest::newRow("load, output stop") << "load" << Op::stop << true;
    // The clock was reset for the new track before the output refused it.
    QTest::newRow("load, output prepare") << "load" << Op::prepare << false;
    QTest::newRow("play") << "play" << Op::play << true;
    QTest::newRow("pause") << "pause" << Op::pause << true;
    QTest::newRow("stop") << "stop" << Op::stop << true;
}

void PlayerTest::failedOperationLeavesState()
{
    QFETCH(QString, operation);
    QFETCH(Op, failing);
    QFETCH(bool, polling);

    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    output.setCurrentTime(2.0);
    runOperations(player, QStringLiteral("load,play"));
    QSignalSpy stateSpy(&player, &Player::transportStateChanged);

    output.failNext(failing, QStringLiteral("refused"));
    QVERIFY_THROWS_EXCEPTION(FakeOutputError, runOperations(player, operation));
    QCOMPARE(player.transportState(), TransportState::playing(2.0));
    QCOMPARE(stateSpy.count(), 0);
    QCOMPARE(isPolling(player), polling);
    QVERIFY(!player.lastError());
}

void PlayerTest::loadLogsAndPrepares_data()
{
    QTest::addColumn<std::optional<double>>("duration");
    QTest::addColumn<QString>("line");
    QTest::newRow("no duration") << std::optional<double>() << "Loading track: 44100.000000Hz, 2ch, duration=-1.0s";
    QTest::newRow("duration") << std::optional<double>(183.26)
                              << "Loading track: 44100.000000Hz, 2ch, duration=183.3s";
}

void PlayerTest::loadLogsAndPrepares()
{
    QFETCH(std::optional<double>, duration);
    QFETCH(QString, line);

    test::LogCapture log;
    FakeAudioOutput output;
    Player player(output);
    QSignalSpy errorSpy(&player, &Player::lastErrorChanged);
    player.load(vectorStream(0), AudioFormat::cdQuality(), duration, {});
    QCOMPARE(log.messages(playbackCategory).value(0), line);
    QCOMPARE(output.preparedFormat(), std::optional<AudioFormat>(AudioFormat::cdQuality()));
    QCOMPARE(player.clock()->duration(), duration);
    // Cleared on every load, even when there was nothing to clear.
    QCOMPARE(errorSpy.count(), 1);
}

void PlayerTest::transportLogLines()
{
    test::LogCapture log;
    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    runOperations(player, QStringLiteral("load"));
    log.clear();
    player.play();
    player.pause();
    SeekResult seek;
    player.seek(2.46, seek.completion());
    QVERIFY(seek.wait());
    player.stop();
    QCOMPARE(log.messages(playbackCategory),
             QStringList({"Playback started", "Playback paused", "Seeking to 2.5s", "Playback stopped"}));
}

void PlayerTest::pauseTwiceNotifiesOnce()
{
    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    runOperations(player, QStringLiteral("load,play"));
    output.setCurrentTime(4.0);
    QSignalSpy stateSpy(&player, &Player::transportStateChanged);
    player.pause();
    player.pause();
    QCOMPARE(output.callCount(Op::pause), 2);
    QCOMPARE(stateSpy.count(), 1);
    QCOMPARE(player.transportState(), TransportState::paused(4.0));
}

void PlayerTest::seekRefusedWithoutHandler_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<TransportState>("state");
    QTest::newRow("new player") << "" << TransportState::idle();
    QTest::newRow("after stop") << "load,play,stop" << TransportState::idle();
    QTest::newRow("stream cannot seek") << "unseekable" << TransportState::paused(0);
}

void PlayerTest::seekRefusedWithoutHandler()
{
    QFETCH(QString, before);
    QFETCH(TransportState, state);

    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    if (before == u"unseekable")
        player.load(vectorStream(3), testFormat, std::nullopt, {});
    else
        runOperations(player, before);
    output.clearCalls();

    SeekResult seek;
    player.seek(5.0, seek.completion());
    QVERIFY(seek.done);
    QCOMPARE(playerErrorKind(seek.error), PlayerError::Kind::seekNotSupported);
    QCOMPARE(player.transportState(), state);
    QCOMPARE(transportCalls(output), QStringList());
}

void PlayerTest::seekWhilePausedKeepsClockUntilPlay()
{
    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    auto reopened = std::make_shared<StreamProbe>();
    QList<double> targets;
    player.load(vectorStream(2), testFormat, 60.0, [&, reopened](double to) {
        targets.append(to);
        return probeStream(reopened, 3);
    });
    output.setCurrentTime(4.0);
    player.play();
    player.pause();
    QCOMPARE(player.clock()->position(), 4.0);
    output.clearCalls();

    SeekResult seek;
    player.seek(12.5, seek.completion());
    QVERIFY(seek.wait());
    QVERIFY(!seek.error);
    QCOMPARE(targets, QList<double>({12.5}));
    QCOMPARE(player.transportState(), TransportState::paused(12.5));
    QCOMPARE(transportCalls(output), QStringList({"stop", "prepare", "seek"}));
    QCOMPARE(seekTargets(output), QList<double>({12.5}));
    QVERIFY(!output.isPlaying());
    QVERIFY(!isPolling(player));
    // The reopened stream is fed while paused.
    QVERIFY(output.waitForCallCount(Op::schedule, 3));
    QCOMPARE(reopened->pullCount(), 3);
    QCOMPARE(player.clock()->position(), 4.0);
    QCOMPARE(player.clock()->duration(), std::optional<double>(60.0));

    player.play();
    QCOMPARE(player.transportState(), TransportState::playing(12.5));
    QCOMPARE(player.clock()->position(), 12.5);
}

void PlayerTest::seekWhilePlaying()
{
    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    runOperations(player, QStringLiteral("load,play"));
    output.clearCalls();
    QSignalSpy stateSpy(&player, &Player::transportStateChanged);

    SeekResult seek;
    player.seek(30.0, seek.completion());
    QVERIFY(seek.wait());
    QVERIFY(!seek.error);
    QCOMPARE(player.transportState(), TransportState::playing(30.0));
    QCOMPARE(stateSpy.count(), 1);
    QCOMPARE(transportCalls(output), QStringList({"stop", "prepare", "seek", "play"}));
    QVERIFY(output.isPlaying());
    QVERIFY(isPolling(player));
    // The clock kept polling through the seek and picks the target up.
    QTRY_COMPARE(player.clock()->position(), 30.0);
}

void PlayerTest::seekAfterNaturalEnd()
{
    FakeAudioOutput output;
    Player player(output);
    int ends = 0;
    player.setOnTrackEnd([&] { ++ends; });
    auto reopened = std::make_shared<StreamProbe>();
    // A stream without buffers ends as soon as the output is drained, even
    // though play() was never called.
    player.load(vectorStream(0), testFormat, 10.0, [reopened](double) { return probeStream(reopened, 2); });
    QTRY_COMPARE(ends, 1);
    QCOMPARE(player.transportState(), TransportState::idle());

    output.holdDrain();
    SeekResult seek;
    player.seek(1.0, seek.completion());
    QVERIFY(seek.wait());
    QVERIFY(!seek.error);
    QCOMPARE(player.transportState(), TransportState::paused(1.0));
    QVERIFY(output.waitForCallCount(Op::schedule, 2));
    QCOMPARE(reopened->pullCount(), 2);
    QCOMPARE(ends, 1);
}

void PlayerTest::supersededSeek_data()
{
    QTest::addColumn<QString>("newer");
    QTest::addColumn<TransportState>("state");
    QTest::newRow("newer seek") << "seek" << TransportState::paused(2.0);
    QTest::newRow("load") << "load" << TransportState::paused(0.0);
    QTest::newRow("stop") << "stop" << TransportState::idle();
}

void PlayerTest::supersededSeek()
{
    QFETCH(QString, newer);
    QFETCH(TransportState, state);

    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();

    // The first seek's handler waits until the test lets it go; the gate
    // opens at the latest when the test ends, before the player joins.
    auto gate = std::make_shared<Gate>();
    const auto openGate = qScopeGuard([gate] { gate->open(); });
    auto slowTarget = std::make_shared<StreamProbe>();
    player.load(vectorStream(1), testFormat, 60.0, [gate, slowTarget](double to) -> PcmBufferStreamPtr {
        if (to == 1.0) {
            gate->wait();
            return probeStream(slowTarget, 4);
        }
        return vectorStream(4);
    });
    SeekResult older;
    player.seek(1.0, older.completion());

    SeekResult newerSeek;
    if (newer == u"seek") {
        player.seek(2.0, newerSeek.completion());
        QVERIFY(newerSeek.wait());
        QVERIFY(!newerSeek.error);
    } else {
        runOperations(player, newer);
    }
    gate->open();

    QVERIFY(older.wait());
    QVERIFY(older.cancelled());
    QVERIFY(slowTarget->waitDestroyed());
    QCOMPARE(slowTarget->pullCount(), 0);
    QCOMPARE(player.transportState(), state);
    QCOMPARE(seekTargets(output), newer == u"seek" ? QList<double>({2.0}) : QList<double>());
}

void PlayerTest::seekFailure_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<TransportState>("state");
    QTest::addColumn<bool>("scheduling");

    // Once the old stream is stopped, a failure leaves nothing playing.
    QTest::newRow("output stop") << "stop" << TransportState::idle() << false;
    QTest::newRow("seek handler") << "handler" << TransportState::idle() << false;
    QTest::newRow("output prepare") << "prepare" << TransportState::idle() << false;
    QTest::newRow("output seek") << "seek" << TransportState::idle() << false;
    // The new stream is queued but the output would not start.
    QTest::newRow("output play") << "play" << TransportState::paused(8.0) << true;
}

void PlayerTest::seekFailure()
{
    QFETCH(QString, failing);
    QFETCH(TransportState, state);
    QFETCH(bool, scheduling);

    FakeAudioOutput output;
    Player player(output);
    output.holdDrain();
    int ends = 0;
    player.setOnTrackEnd([&] { ++ends; });
    bool handlerFails = failing == u"handler";
    player.load(vectorStream(1), testFormat, 60.0, [&handlerFails](double) -> PcmBufferStreamPtr {
        if (handlerFails)
            throw FakeOutputError(QStringLiteral("cannot reopen"));
        return vectorStream(4);
    });
    player.play();
    QVERIFY(output.waitForCallCount(Op::waitForQueueDrained, 1));
    output.clearCalls();

    const QMap<QString, Op> operations{
        {"stop", Op::stop}, {"prepare", Op::prepare}, {"seek", Op::seek}, {"play", Op::play}};
    if (operations.contains(failing))
        output.failNext(operations.value(failing), QStringLiteral("output refused"));

    SeekResult seek;
    player.seek(8.0, seek.completion());
    QVERIFY(seek.wait());
    QCOMPARE(seek.text(), handlerFails ? QStringLiteral("cannot reopen") : QStringLiteral("output refused"));
    QCOMPARE(player.transportState(), state);
    QVERIFY(!isPolling(player));
    QVERIFY(!player.lastError());
    if (scheduling)
        QVERIFY(output.waitForCallCount(Op::schedule, 4));
    else
        QCOMPARE(output.callCount(Op::schedule), 0);
    QCoreApplication::processEvents();
    QCOMPARE(ends, 0);

    // The stream stays seekable.
    handlerFails = false;
    SeekResult retry;
    player.seek(9.0, retry.completion());
    QVERIFY(retry.wait());
    QVERIFY(!retry.error);
    QCOMPARE(player.transportState(), TransportState::paused(9.0));
}

void PlayerTest::naturalEndReportedOnceAfterIdle()
{
    test::LogCapture log;
    FakeAudioOutput output;
    Player player(output);
    QList<TransportState> statesAtEnd;
    player.setOnTrackEnd([&] { statesAtEnd.append(player.transportState()); });
    output.holdDrain();
    player.load(vectorStream(3), testFormat, 1.0, {});
    player.play();

    // The stream is used up, but the output still plays what it accepted.
    QVERIFY(output.waitUntilBlocked(Op::waitForQueueDrained));
    QCOMPARE(output.callCount(Op::schedule), 3);
    QCoreApplication::processEvents();
    QVERIFY(statesAtEnd.isEmpty());
    QVERIFY(player.transportState().isPlaying());

    output.releaseDrain();
    QTRY_COMPARE(statesAtEnd.size(), 1);
    QCOMPARE(statesAtEnd.first(), TransportState::idle());
    QVERIFY(!isPolling(player));
    QVERIFY(log.contains(playbackCategory, QStringLiteral("Track ended naturally")));
    QCoreApplication::processEvents();
    QCOMPARE(statesAtEnd.size(), 1);
}

void PlayerTest::queuedReportIgnoredAfterNewerOperation_data()
{
    QTest::addColumn<QString>("newer");
    QTest::addColumn<bool>("failure");
    QTest::addColumn<TransportState>("state");

    QTest::newRow("end, then load") << "load" << false << TransportState::paused(0);
    QTest::newRow("end, then seek") << "seek" << false << TransportState::paused(3.0);
    QTest::newRow("end, then stop") << "stop" << false << TransportState::idle();
    QTest::newRow("failure, then load") << "load" << true << TransportState::paused(0);
    QTest::newRow("failure, then stop") << "stop" << true << TransportState::idle();
}

void PlayerTest::queuedReportIgnoredAfterNewerOperation()
{
    QFETCH(QString, newer);
    QFETCH(bool, failure);
    QFETCH(TransportState, state);

    FakeAudioOutput output;
    Player player(output);
    int ends = 0;
    player.setOnTrackEnd([&] { ++ends; });
    if (failure)
        output.failNext(Op::schedule);
    auto first = std::make_shared<StreamProbe>();
    player.load(probeStream(first, 1), testFormat, 5.0, reopeningSeekHandler());
    // The task drops its stream after its report was posted; the main thread
    // has not run an event loop since, so the report is still queued.
    QVERIFY(first->waitDestroyed());

    output.holdDrain();
    SeekResult seek;
    if (newer == u"seek")
        player.seek(3.0, seek.completion());
    else
        runOperations(player, newer);
    QCoreApplication::processEvents();
    if (newer == u"seek")
        QVERIFY(seek.wait());
    QCOMPARE(ends, 0);
    QVERIFY(!player.lastError());
    QCOMPARE(player.transportState(), state);
}

void PlayerTest::schedulingFailure()
{
    test::LogCapture log;
    FakeAudioOutput output;
    Player player(output);
    int ends = 0;
    player.setOnTrackEnd([&] { ++ends; });
    QSignalSpy errorSpy(&player, &Player::lastErrorChanged);
    output.failNext(Op::schedule, QStringLiteral("Audio engine is not prepared for playback"), 1);
    auto probe = std::make_shared<StreamProbe>();
    player.load(probeStream(probe, 5), testFormat, 5.0, {});
    player.play();

    QTRY_VERIFY(player.lastError());
    QCOMPARE(player.lastError()->description(),
             QStringLiteral("Audio scheduling failed: Audio engine is not prepared for playback"));
    QCOMPARE(player.transportState(), TransportState::idle());
    QVERIFY(!isPolling(player));
    QVERIFY(probe->waitDestroyed());
    QCOMPARE(probe->pullCount(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(ends, 0);
    bool logged = false;
    for (const test::LogCapture::Entry& entry : log.entries()) {
        logged = logged
            || (entry.type == QtCriticalMsg && entry.category == playbackCategory
                && entry.message == u"Scheduling error: Audio engine is not prepared for playback");
    }
    QVERIFY(logged);

    // load, play and the failure each notify; play clears the error again.
    player.play();
    QVERIFY(!player.lastError());
    QCOMPARE(errorSpy.count(), 4);
}

void PlayerTest::backPressure()
{
    FakeAudioOutput output;
    Player player(output);
    output.setCapacity(2);
    auto probe = std::make_shared<StreamProbe>();
    player.load(probeStream(probe, -1), testFormat, std::nullopt, {});

    // Two buffers accepted, the third waits in schedule: nothing more pulled.
    QVERIFY(output.waitUntilBlocked(Op::schedule));
    QCOMPARE(output.callCount(Op::schedule), 3);
    QCOMPARE(probe->pullCount(), 3);

    output.render(1);
    QVERIFY(output.waitForCallCount(Op::schedule, 4));
    QVERIFY(output.waitUntilBlocked(Op::schedule));
    QCOMPARE(probe->pullCount(), 4);
    QCOMPARE(output.queuedCount(), std::size_t(2));
}

void PlayerTest::stopWhileTaskBlocked_data()
{
    QTest::addColumn<QString>("blockedIn");
    QTest::addColumn<QString>("operation");
    QTest::newRow("schedule, stop") << "schedule" << "stop";
    QTest::newRow("schedule woken only by the output's stop") << "schedule, deaf" << "stop";
    QTest::newRow("schedule, load") << "schedule" << "load";
    QTest::newRow("stream, stop") << "stream" << "stop";
    QTest::newRow("stream, load") << "stream" << "load";
    QTest::newRow("drain, stop") << "drain" << "stop";
}

void PlayerTest::stopWhileTaskBlocked()
{
    QFETCH(QString, blockedIn);
    QFETCH(QString, operation);

    FakeAudioOutput output;
    Player player(output);
    int ends = 0;
    player.setOnTrackEnd([&] { ++ends; });
    auto probe = std::make_shared<StreamProbe>();
    if (blockedIn.startsWith(u"schedule")) {
        output.setCapacity(1);
        output.setScheduleIgnoresStopToken(blockedIn.endsWith(u"deaf"));
        player.load(probeStream(probe, -1), testFormat, 5.0, {});
        QVERIFY(output.waitUntilBlocked(Op::schedule));
    } else if (blockedIn == u"stream") {
        player.load(probeStream(probe, 1, true), testFormat, 5.0, {});
        QVERIFY(probe->waitBlocked());
    } else {
        output.holdDrain();
        player.load(probeStream(probe, 1), testFormat, 5.0, {});
        QVERIFY(output.waitUntilBlocked(Op::waitForQueueDrained));
    }
    player.play();

    output.holdDrain();
    runOperations(player, operation);
    // The blocked task has ended and dropped its stream.
    QVERIFY(probe->isDestroyed());
    QCoreApplication::processEvents();
    QCOMPARE(ends, 0);
    QVERIFY(!player.lastError());
    QCOMPARE(player.transportState(), operation == u"stop" ? TransportState::idle() : TransportState::paused(0));
}

void PlayerTest::destroyWhileTaskBlocked()
{
    FakeAudioOutput output;
    output.setCapacity(1);
    auto probe = std::make_shared<StreamProbe>();
    {
        Player player(output);
        player.load(probeStream(probe, -1), testFormat, 5.0, {});
        QVERIFY(output.waitUntilBlocked(Op::schedule));
    }
    QVERIFY(probe->isDestroyed());
}

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
