#pragma once

#include "Rasko/AudioStream.h"
#include "Rasko/SourceLocator.h"
#include "Rasko/TrackResolver.h"
#include "VessaCore/GenerationWorker.h"
#include "VessaCore/TrackRef.h"

#include <QObject>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace vessa {

// Resolves track references and opens their decoders on a worker thread,
// one track at a time. A job waits while another works; a newer waiting job
// replaces the older one, which then ends as superseded. A cancelled job ends
// as superseded whatever its resolve or open gave: a stream it opened is
// destroyed off the main thread and a failure it met is dropped. A superseded
// job's result carries a CancellationError.
//
// Threads: submit, cancel and the job hooks run on the main thread. Resolving
// and opening block, so they run on the loader's worker, which stops at its
// next check when its job is cancelled; the decoder's open gets the job's stop
// in its hints, so one that watches it ends at once. Destroying the loader
// cancels the working job and waits for its worker; hooks of unfinished jobs
// are then not called.
class TrackLoader : public QObject {
    Q_OBJECT

public:
    struct Request {
        TrackRef track;
        std::optional<QString> fileHint;
        // The playlist file that relative hints are taken against.
        std::optional<QString> playlistURL;
    };

    // Exactly one of: an opened stream (with where it was read from) or a
    // failure (a CancellationError when the job was superseded).
    struct Result {
        std::optional<AudioStream> stream = {};
        std::optional<SourceLocator> locator = {};
        std::exception_ptr error = {};
    };

    // Runs when the job starts working; answers whether the decoder is to
    // loop the track endlessly.
    using StartHook = std::function<bool()>;
    // Runs once when the job ends, from the event loop.
    using FinishHook = std::function<void(Result result)>;

    class Job;
    using JobPtr = std::shared_ptr<Job>;

    explicit TrackLoader(TrackResolverPtr resolver, QObject* parent = nullptr);
    ~TrackLoader() override;

    // Queues the job; it starts at once when no other job works.
    JobPtr submit(Request request, StartHook onStart, FinishHook onFinish);
    // Does nothing for a finished job.
    void cancel(const JobPtr& job);

private:
    static Result work(std::stop_token stop, const TrackResolver& resolver, const Request& request, bool infiniteLoop);
    void startWaitingJob();
    void finishWorkingJob(Result result);
    void finishSuperseded(const JobPtr& job);

    const TrackResolverPtr m_resolver;
    JobPtr m_working;
    JobPtr m_waiting;
    // Runs the working job; cancelling it supersedes the worker's generation.
    GenerationWorker m_worker;
};

class TrackLoader::Job {
public:
    const TrackRef& track() const { return m_request.track; }
    bool isFinished() const { return m_state == State::finished; }

private:
    friend class TrackLoader;
    enum class State { waiting, working, finished };

    Job(Request request, StartHook onStart, FinishHook onFinish)
        : m_request(std::move(request)), m_onStart(std::move(onStart)), m_onFinish(std::move(onFinish))
    {
    }

    Request m_request;
    StartHook m_onStart;
    FinishHook m_onFinish;
    State m_state = State::waiting;
    bool m_cancelled = false;
};

} // namespace vessa
