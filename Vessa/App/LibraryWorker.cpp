#include "Vessa/App/LibraryWorker.h"

#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "Vessa/App/AppLogging.h"
#include "VessaCore/Error.h"
#include "VessaCore/ExceptionDescription.h"

#include <QFileInfo>

namespace vessa {

namespace {

// The prefix every path under the folder starts with.
QString folderPrefix(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool liesUnder(const QString& path, const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (path.startsWith(folderPrefix(folder)))
            return true;
    }
    return false;
}

} // namespace

LibraryWorker::LibraryWorker(std::shared_ptr<LocalFileSourcePlugin> source, QObject* parent)
    : QObject(parent), m_source(std::move(source))
{
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

LibraryWorker::~LibraryWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_runningStop.request_stop();
    }
    m_thread.request_stop();
    m_thread.join();
}

LibraryWorker::Job LibraryWorker::job(JobKind kind)
{
    Job job;
    job.kind = kind;
    return job;
}

void LibraryWorker::setFolders(const QStringList& folders)
{
    std::lock_guard lock(m_mutex);
    m_folders = folders;
}

bool LibraryWorker::requestScan()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_scanWaiting)
            return false;
        m_scanWaiting = true;
        m_jobs.push_back(job(JobKind::scan));
    }
    m_wake.notify_all();
    return true;
}

void LibraryWorker::applyFileEvents(DirectoryWatcher::EventBatch batch)
{
    {
        std::lock_guard lock(m_mutex);
        Job events = job(JobKind::fileEvents);
        events.batch = std::move(batch);
        m_jobs.push_back(std::move(events));
    }
    m_wake.notify_all();
}

void LibraryWorker::reload()
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(job(JobKind::reload));
    }
    m_wake.notify_all();
}

bool LibraryWorker::removeFolder(const QString& folder)
{
    bool queuedScan = false;
    {
        std::lock_guard lock(m_mutex);
        Job removal = job(JobKind::folderRemoval);
        removal.folder = folder;
        removal.removal = ++m_requestedRemovals;
        m_removals.push_back(std::move(removal));
        if (m_running == JobKind::scan) {
            m_runningStop.request_stop();
            if (!m_scanWaiting) {
                m_scanWaiting = true;
                m_jobs.push_back(job(JobKind::scan));
                queuedScan = true;
            }
        }
    }
    m_wake.notify_all();
    return queuedScan;
}

void LibraryWorker::run(std::stop_token stop)
{
    std::stop_token jobStop;
    QStringList folders;
    while (std::optional<Job> job = takeJob(stop, jobStop, folders)) {
        Outcome outcome = perform(*job, jobStop, folders);
        {
            std::lock_guard lock(m_mutex);
            m_running.reset();
        }
        post(std::move(outcome), m_appliedRemovals);
    }
}

std::optional<LibraryWorker::Job> LibraryWorker::takeJob(std::stop_token stop, std::stop_token& jobStop,
                                                         QStringList& folders)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, stop, [this] { return !m_removals.empty() || !m_jobs.empty(); });
    if (stop.stop_requested())
        return std::nullopt;
    std::deque<Job>& queue = m_removals.empty() ? m_jobs : m_removals;
    Job job = std::move(queue.front());
    queue.pop_front();
    if (job.kind == JobKind::scan)
        m_scanWaiting = false;
    m_running = job.kind;
    m_runningStop = std::stop_source();
    jobStop = m_runningStop.get_token();
    folders = m_folders;
    return job;
}

LibraryWorker::Outcome LibraryWorker::perform(const Job& job, std::stop_token jobStop, const QStringList& folders)
{
    Outcome outcome;
    outcome.kind = job.kind;
    outcome.folder = job.folder;
    try {
        switch (job.kind) {
        case JobKind::scan:
            // With no folder at all there is nothing to bring up to date.
            if (!folders.isEmpty())
                outcome.library = prepared(scan(folders, jobStop));
            break;
        case JobKind::fileEvents: {
            // Events may still come from a folder that was removed meanwhile.
            DirectoryWatcher::EventBatch batch = job.batch;
            batch.modified.removeIf([&folders](const QString& path) { return !liesUnder(path, folders); });
            outcome.library = prepared(m_source->handleFileEvents(batch, jobStop));
            break;
        }
        case JobKind::folderRemoval: try { m_source->removeTracks(job.folder);
            } catch (...) {
                outcome.removalError = std::current_exception();
            }
            m_appliedRemovals = job.removal;
            outcome.library = prepared(m_source->allTracksFromDatabase());
            break;
        case JobKind::reload: outcome.library = prepared(m_source->allTracksFromDatabase()); break;
        }
    } catch (const CancellationError&) {
        outcome.library.reset();
    } catch (...) {
        outcome.library.reset();
        outcome.error = std::current_exception();
    }
    return outcome;
}

QList<ScannedTrack> LibraryWorker::scan(const QStringList& folders, std::stop_token jobStop)
{
    // A folder that is missing (an unmounted drive) stays a music folder but
    // is not read: its tracks leave the library until it is back.
    QStringList present;
    for (const QString& folder : folders) {
        if (QFileInfo(folder).isDir())
            present.append(folder);
    }
    m_lastProgress = {};
    return m_source->scanDirectories(
        present, [this](const ScanProgress& progress) { reportProgress(progress); }, jobStop);
}

LibraryWorker::Library LibraryWorker::prepared(QList<ScannedTrack> tracks)
{
    Library library;
    library.refs.reserve(tracks.size());
    for (const ScannedTrack& track : tracks)
        library.refs.append(track.ref);
    library.refSet = QSet<TrackRef>(library.refs.cbegin(), library.refs.cend());
    library.tracks = std::move(tracks);
    QStringList folders;
    {
        std::lock_guard lock(m_mutex);
        folders = m_folders;
    }
    for (const QString& folder : folders) {
        qint64 count = 0;
        try {
            count = m_source->trackCount(folder);
        } catch (...) {
            logError(lcApp(), QStringLiteral("Failed to count tracks under %1: %2")
                                  .arg(folder, describeException(std::current_exception())));
        }
        library.trackCounts.insert(folder, count);
    }
    return library;
}

void LibraryWorker::reportProgress(const ScanProgress& progress)
{
    const auto now = std::chrono::steady_clock::now();
    if (progress.completed < progress.total && now - m_lastProgress < progressInterval)
        return;
    m_lastProgress = now;
    QMetaObject::invokeMethod(
        this, [this, progress] { emit scanProgressed(progress); }, Qt::QueuedConnection);
}

void LibraryWorker::post(Outcome outcome, quint64 appliedRemovals)
{
    // Posted to this object: dropped with it when it is destroyed first.
    QMetaObject::invokeMethod(
        this,
        [this, outcome = std::move(outcome), appliedRemovals]() mutable {
            deliver(std::move(outcome), appliedRemovals);
        },
        Qt::QueuedConnection);
}

void LibraryWorker::deliver(Outcome outcome, quint64 appliedRemovals)
{
    if (appliedRemovals < m_requestedRemovals) {
        outcome.library.reset();
        outcome.error = nullptr;
    }
    emit jobFinished(outcome);
}

} // namespace vessa
