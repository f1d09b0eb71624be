#include "VessaCore/Player.h"

#include "VessaCore/AudioOutput.h"
#include "VessaCore/Clock.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Logging.h"
#include "VessaCore/PlayerError.h"
#include "VessaCore/SchedulingTask.h"

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcPlayback, "vessacore", "playback")

constexpr double clockInterval = 0.1;

} // namespace

Player::Player(AudioOutput& output, QObject* parent)
    : QObject(parent), m_output(output), m_clock(new Clock(output, clockInterval, this)), m_seekWorker(this)
{
}

Player::~Player()
{
    // Let the seek workers wind down while the scheduling task is stopped;
    // the worker helper joins them.
    m_seekWorker.supersede();
    if (m_schedulingTask) {
        try {
            m_schedulingTask->stop();
        } catch (...) {
            // The task has ended all the same; nothing is left to report to.
        }
    }
}

void Player::setOnTrackEnd(TrackEndHook hook)
{
    m_onTrackEnd = std::move(hook);
    emit onTrackEndChanged();
}

void Player::load(PcmBufferStreamPtr buffers, AudioFormat format, std::optional<double> duration,
                  SeekHandler seekHandler)
{
    logDebug(lcPlayback(), QString::asprintf("Loading track: %fHz, %lldch, duration=%.*fs", format.sampleRate,
                                             static_cast<long long>(format.channelCount), 1, duration.value_or(-1.0)));
    setLastError(nullptr);
    ++m_generation;
    m_seekWorker.supersede();
    stopSchedulingTask();
    m_clock->reset();
    m_clock->setDuration(duration);
    m_currentFormat = format;
    m_currentSeekHandler = std::move(seekHandler);
    m_output.prepare(format);
    startScheduling(std::move(buffers));
    setTransportState(TransportState::paused(0.0));
}

bool Player::hasStream() const
{
    return m_schedulingTask || m_seekWorker.isPending();
}

void Player::play()
{
    setLastError(nullptr);
    if (!hasStream()) {
        logDebug(lcPlayback(), QStringLiteral("Nothing to play: no track is loaded"));
        return;
    }
    logInfo(lcPlayback(), QStringLiteral("Playback started"));
    m_output.play();
    setTransportState(TransportState::playing(m_output.currentTime()));
    m_clock->startPolling();
}

void Player::pause()
{
    if (!hasStream()) {
        logDebug(lcPlayback(), QStringLiteral("Nothing to pause: no track is loaded"));
        return;
    }
    logInfo(lcPlayback(), QStringLiteral("Playback paused"));
    m_output.pause();
    m_clock->stopPolling();
    setTransportState(TransportState::paused(m_output.currentTime()));
}

void Player::stop()
{
    logInfo(lcPlayback(), QStringLiteral("Playback stopped"));
    ++m_generation;
    m_seekWorker.supersede();
    stopSchedulingTask();
    m_clock->reset();
    m_currentSeekHandler = nullptr;
    m_currentFormat.reset();
    setTransportState(TransportState::idle());
}

void Player::seek(double to, SeekCompletion completion)
{
    logDebug(lcPlayback(), QString::asprintf("Seeking to %.*fs", 1, to));
    if (!m_currentSeekHandler) {
        if (completion)
            completion(std::make_exception_ptr(PlayerError::seekNotSupported()));
        return;
    }
    if (!m_currentFormat) {
        if (completion)
            completion(std::make_exception_ptr(PlayerError::noFormatAvailable()));
        return;
    }
    ++m_generation;
    m_seekWorker.supersede();
    // The stopped output reads 0 until the new stream plays: the clock shows
    // where playback was until the seek lands.
    m_clock->holdAt(m_clock->position());
    try {
        stopSchedulingTask();
    } catch (...) {
        failSeek(std::current_exception(), completion);
        return;
    }
    // The handler may run for seconds (an emulator runs forward to the
    // target), so it runs off the main thread; the rest of the seek continues
    // there only if nothing newer came meanwhile. Whatever supersedes it
    // requests its stop, which ends a handler that watches it at once.
    m_seekWorker.start([handler = m_currentSeekHandler, to](std::stop_token stop) { return handler(to, stop); },
                       [this, to, completion](PcmBufferStreamPtr stream, std::exception_ptr error) {
                           continueSeek(to, std::move(stream), error, completion);
                       },
                       [completion] {
                           if (completion)
                               completion(std::make_exception_ptr(CancellationError()));
                       });
}

void Player::continueSeek(double to, PcmBufferStreamPtr stream, std::exception_ptr error,
                          const SeekCompletion& completion)
{
    if (error) {
        failSeek(error, completion);
        return;
    }
    try {
        m_output.prepare(*m_currentFormat);
        m_output.seek(to);
        startScheduling(std::move(stream));
    } catch (...) {
        failSeek(std::current_exception(), completion);
        return;
    }
    // The target shows at once, also while paused.
    m_clock->holdAt(to);
    // A play or pause that came while the handler ran decides, like the
    // state the seek started from.
    if (m_transportState.isPlaying()) {
        try {
            m_output.play();
        } catch (...) {
            // The new stream is queued but the output is not running.
            m_clock->stopPolling();
            setTransportState(TransportState::paused(to));
            if (completion)
                completion(std::current_exception());
            return;
        }
        setTransportState(TransportState::playing(to));
        m_clock->startPolling();
    } else {
        setTransportState(TransportState::paused(to));
    }
    if (completion)
        completion(nullptr);
}

void Player::failSeek(std::exception_ptr error, const SeekCompletion& completion)
{
    // The old stream is gone and nothing new is queued: not playing anything.
    // The handler and the format stay, so the caller may seek again.
    m_clock->stopPolling();
    setTransportState(TransportState::idle());
    if (completion)
        completion(error);
}

void Player::stopSchedulingTask()
{
    std::unique_ptr<SchedulingTask> task = std::move(m_schedulingTask);
    if (task)
        task->stop();
    else
        m_output.stop();
}

void Player::startScheduling(PcmBufferStreamPtr buffers)
{
    const quint64 generation = m_generation;
    m_schedulingTask = std::make_unique<SchedulingTask>(
        m_output, std::move(buffers),
        [this, generation](std::exception_ptr streamFailure) {
            QMetaObject::invokeMethod(
                this, [this, generation, streamFailure] { handleTrackEnd(generation, streamFailure); },
                Qt::QueuedConnection);
        },
        [this, generation](std::exception_ptr error) {
            QMetaObject::invokeMethod(
                this, [this, generation, error] { handleSchedulingError(generation, error); }, Qt::QueuedConnection);
        });
}

void Player::handleTrackEnd(quint64 generation, std::exception_ptr streamFailure)
{
    if (generation != m_generation)
        return;
    if (streamFailure)
        logError(lcPlayback(),
                 QStringLiteral("Track ended on a decoder failure: %1").arg(describeException(streamFailure)));
    else
        logInfo(lcPlayback(), QStringLiteral("Track ended naturally"));
    // The task has reported its end; joining it does not wait.
    m_schedulingTask.reset();
    m_clock->stopPolling();
    setTransportState(TransportState::idle());
    if (m_onTrackEnd) {
        const TrackEndHook hook = m_onTrackEnd;
        hook(streamFailure);
    }
}

void Player::handleSchedulingError(quint64 generation, std::exception_ptr error)
{
    if (generation != m_generation)
        return;
    logError(lcPlayback(), QStringLiteral("Scheduling error: %1").arg(describeException(error)));
    m_schedulingTask.reset();
    setLastError(std::make_shared<PlayerError>(PlayerError::schedulingFailed(error)));
    m_clock->stopPolling();
    setTransportState(TransportState::idle());
}

void Player::setTransportState(TransportState state)
{
    if (state == m_transportState)
        return;
    m_transportState = state;
    emit transportStateChanged();
}

void Player::setLastError(std::shared_ptr<const Error> error)
{
    m_lastError = std::move(error);
    emit lastErrorChanged();
}

} // namespace vessa
