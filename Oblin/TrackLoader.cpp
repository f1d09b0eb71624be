#include "Oblin/TrackLoader.h"

#include "Oblin/Cancellation.h"
#include "Rasko/DecoderHints.h"
#include "VessaCore/Error.h"

namespace vessa {

TrackLoader::TrackLoader(TrackResolverPtr resolver, QObject* parent) : QObject(parent), m_resolver(std::move(resolver))
{
}

TrackLoader::~TrackLoader()
{
    // The worker may still be inside a decoder's open; its result is posted
    // to this object and dropped with it.
    m_worker.request_stop();
}

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
        m_worker.request_stop();
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
    // The worker of the previous job has posted its result and ended.
    m_worker =
        std::jthread([this, resolver = m_resolver, request = job->m_request, infiniteLoop](std::stop_token stop) {
            std::shared_ptr<Result> result = work(stop, *resolver, request, infiniteLoop);
            QMetaObject::invokeMethod(
                this, [this, result] { finishWorkingJob(result); }, Qt::QueuedConnection);
        });
}

std::shared_ptr<TrackLoader::Result> TrackLoader::work(std::stop_token stop, const TrackResolver& resolver,
                                                       const Request& request, bool infiniteLoop)
{
    auto result = std::make_shared<Result>();
    try {
        if (stop.stop_requested())
            throw CancellationError();
        ResolvedTrack resolved = resolver.resolveForPlayback(request.track, request.fileHint, request.playlistURL);
        if (stop.stop_requested())
            throw CancellationError();
        AudioStream stream = resolved.decoder->open(resolved.locator, request.track.subTrackIndex(),
                                                    DecoderHints(infiniteLoop, resolved.fileExtension));
        // A stream opened for a cancelled job is closed here, off the main thread.
        if (stop.stop_requested())
            throw CancellationError();
        result->stream.emplace(std::move(stream));
        result->locator = std::move(resolved.locator);
    } catch (...) {
        result->error = std::current_exception();
    }
    return result;
}

void TrackLoader::finishWorkingJob(std::shared_ptr<Result> result)
{
    m_worker = std::jthread(); // already at its end: joins at once
    JobPtr job = std::exchange(m_working, nullptr);
    if (!job)
        return;
    job->m_state = Job::State::finished;
    Result outcome = std::move(*result);
    if (job->m_cancelled || isCancellation(outcome.error)) {
        outcome = Result();
        outcome.superseded = true;
    }
    startWaitingJob();
    if (job->m_onFinish)
        job->m_onFinish(std::move(outcome));
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
                job->m_onFinish(Result{.superseded = true});
        },
        Qt::QueuedConnection);
}

} // namespace vessa
