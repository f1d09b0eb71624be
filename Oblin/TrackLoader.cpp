#include "Oblin/TrackLoader.h"

#include "Rasko/DecoderHints.h"
#include "VessaCore/Error.h"

namespace vessa {

TrackLoader::TrackLoader(TrackResolverPtr resolver, QObject* parent)
    : QObject(parent), m_resolver(std::move(resolver)), m_worker(this)
{
}

// The worker may still be inside a decoder's open; the worker helper stops
// and joins it, and drops its result.
TrackLoader::~TrackLoader() = default;

TrackLoader::JobPtr TrackLoader::submit(Request request, StartHook onStart, FinishHook onFinish)
{
    JobPtr job(new Job(std::move(request), std::move(onStart), std::move(onFinish)));
    if (JobPtr replaced = std::exchange(m_waiting, job))
        finishSuperseded(replaced);
    if (!m_working)
        startWaitingJob();
    return job;
}

void TrackLoader::cancel(const JobPtr& job)
{
    if (!job || job->isFinished())
        return;
    job->m_cancelled = true;
    if (job == m_waiting) {
        m_waiting.reset();
        finishSuperseded(job);
    } else if (job == m_working) {
        m_worker.supersede();
    }
}

void TrackLoader::startWaitingJob()
{
    JobPtr job = std::exchange(m_waiting, nullptr);
    if (!job)
        return;
    m_working = job;
    job->m_state = Job::State::working;
    const bool infiniteLoop = job->m_onStart ? job->m_onStart() : false;
    if (job->m_cancelled) { // by an observer of what the start hook changed
        m_working.reset();
        finishSuperseded(job);
        startWaitingJob();
        return;
    }
    // The worker of the previous job has ended; a job cancelled while it
    // works finishes as superseded once its worker ends, never earlier.
    m_worker.start([resolver = m_resolver, request = job->m_request,
                    infiniteLoop](std::stop_token stop) { return work(stop, *resolver, request, infiniteLoop); },
                   [this](Result result, std::exception_ptr) { finishWorkingJob(std::move(result)); },
                   [this] { finishWorkingJob(Result{.error = std::make_exception_ptr(CancellationError())}); });
}

TrackLoader::Result TrackLoader::work(std::stop_token stop, const TrackResolver& resolver, const Request& request,
                                      bool infiniteLoop)
{
    Result result;
    try {
        if (stop.stop_requested())
            throw CancellationError();
        ResolvedTrack resolved = resolver.resolveForPlayback(request.track, request.fileHint, request.playlistURL);
        if (stop.stop_requested())
            throw CancellationError();
        result.stream.emplace(resolved.decoder->open(resolved.locator, request.track.subTrackIndex(),
                                                     DecoderHints(infiniteLoop, resolved.fileExtension, stop)));
        result.locator = std::move(resolved.locator);
    } catch (...) {
        result.error = std::current_exception();
    }
    return result;
}

void TrackLoader::finishWorkingJob(Result result)
{
    JobPtr job = std::exchange(m_working, nullptr);
    if (!job)
        return;
    job->m_state = Job::State::finished;
    startWaitingJob();
    if (job->m_onFinish)
        job->m_onFinish(std::move(result));
}

void TrackLoader::finishSuperseded(const JobPtr& job)
{
    job->m_state = Job::State::finished;
    job->m_cancelled = true;
    // Reported from the event loop, never from inside the call that replaced it.
    QMetaObject::invokeMethod(
        this,
        [job] {
            if (job->m_onFinish)
                job->m_onFinish(Result{.error = std::make_exception_ptr(CancellationError())});
        },
        Qt::QueuedConnection);
}

} // namespace vessa
