#pragma once

#include "VessaCore/AudioFormat.h"
#include "VessaCore/Error.h"
#include "VessaCore/GenerationWorker.h"
#include "VessaCore/PcmBufferStream.h"
#include "VessaCore/TransportState.h"

#include <QObject>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace vessa {

class AudioOutput;
class Clock;
class SchedulingTask;

// The playback engine: drives one AudioOutput, owns the transport state,
// feeds the loaded stream into the output on a background SchedulingTask and
// reports the end of a track (natural, or its decoder's failure) or a buffer
// the output refused.
//
// Threads: every member is called on the main thread and every signal, hook
// and completion runs there. The scheduling task and the seek workers only
// call the output and the seek handler and post their results back; each
// result carries the generation it was started under, and a result whose
// generation is no longer current (a newer load, seek or stop came) is
// dropped (a superseded seek's completion gets CancellationError; the seek
// handler still running is asked to stop). The output must outlive the
// player; destroying the player stops the scheduling task, asks a seek handler
// that is still running to stop and waits for it.
class Player : public QObject {
    Q_OBJECT

public:
    // Gets the stream's failure when its decoder failed mid-track (what it
    // had decoded was played), null at a natural end.
    using TrackEndHook = std::function<void(std::exception_ptr streamFailure)>;
    // Called once per seek on the main thread: empty on success, otherwise
    // the failure (a CancellationError when a newer load, seek or stop
    // superseded it). Not called if the player is destroyed first.
    using SeekCompletion = std::function<void(std::exception_ptr error)>;

    explicit Player(AudioOutput& output, QObject* parent = nullptr);
    ~Player() override;

    TransportState transportState() const { return m_transportState; }
    // The last failure of background scheduling (a PlayerError); cleared by
    // load() and play().
    std::shared_ptr<const Error> lastError() const { return m_lastError; }
    Clock* clock() const { return m_clock; }
    // Called after the loaded stream ended or failed and the output drained,
    // once the state is idle.
    const TrackEndHook& onTrackEnd() const { return m_onTrackEnd; }
    void setOnTrackEnd(TrackEndHook hook);

    // Stops what was loaded, prepares the output for `format` and starts
    // feeding `buffers`; ends paused at 0 without starting the output.
    // Throws the output's error from stop() or prepare(), or ThreadStartError
    // when no thread could start to feed the stream (which is then dropped).
    void load(PcmBufferStreamPtr buffers, AudioFormat format, std::optional<double> duration, SeekHandler seekHandler);
    // Throw the output's error; the state is then unchanged. With no stream
    // loaded (none yet, or it was stopped, has ended or failed) they change
    // nothing and leave the output alone: the player never reads playing or
    // paused without a stream to play.
    void play();
    void pause();
    void stop();
    // Reopens the loaded stream at `to` seconds. The clock keeps its
    // position while the handler runs and then holds `to`, playing or not,
    // until the output's time reaches it. The seek handler runs on a
    // worker thread; `completion` may run before seek() returns when the
    // seek fails at once (seekNotSupported, noFormatAvailable, output.stop()).
    void seek(double to, SeekCompletion completion = {});

signals:
    void transportStateChanged();
    void lastErrorChanged();
    void onTrackEndChanged();

private:
    // A stream is fed to the output, or a seek is opening one.
    bool hasStream() const;
    void stopSchedulingTask();
    void startScheduling(PcmBufferStreamPtr buffers);
    void handleTrackEnd(quint64 generation, std::exception_ptr streamFailure);
    void handleSchedulingError(quint64 generation, std::exception_ptr error);
    void continueSeek(double to, PcmBufferStreamPtr stream, std::exception_ptr error, const SeekCompletion& completion);
    void failSeek(std::exception_ptr error, const SeekCompletion& completion);
    void setTransportState(TransportState state);
    void setLastError(std::shared_ptr<const Error> error);

    AudioOutput& m_output;
    Clock* m_clock;
    TransportState m_transportState;
    std::shared_ptr<const Error> m_lastError;
    TrackEndHook m_onTrackEnd;
    SeekHandler m_currentSeekHandler;
    std::optional<AudioFormat> m_currentFormat;
    // Bumped by every load, seek and stop.
    quint64 m_generation = 0;
    // Runs the seek handlers; every load, seek and stop supersedes the seek
    // still running.
    GenerationWorker m_seekWorker;
    std::unique_ptr<SchedulingTask> m_schedulingTask;
};

} // namespace vessa
