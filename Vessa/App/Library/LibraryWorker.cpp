#include "Vessa/App/Library/LibraryWorker.h"

#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/System/PathProblem.h"
#include "VessaCore/Error.h"
#include "VessaCore/ExceptionDescription.h"

#include <QCoreApplication>
#include <algorithm>

namespace vessa {

namespace {

// Folders whose rows stay, shown as unavailable: the music folders that do
// not exist or cannot be read (an unmounted drive, a folder renamed away),
// which are not read now, and the mount points at or below the others that
// have nothing mounted on them, whose rows stay where their files are
// missing, while what the folders hold of their own is read as usual. Why
// each music folder among them is unavailable.
struct UnavailableFolders {
    QStringList missing;
    QStringList mountsAway;
    QHash<QString, QString> problems;
};

// Whether the file of a track (the archive of a member) is there now.
bool isThere(const QString& path)
{
    const std::optional<ZipMemberPath::Parts> member = ZipMemberPath::split(path);
    return MusicFolderEnumerator::regularFileState(member ? member->archivePath : path).has_value();
}

UnavailableFolders unavailableFolders(LocalFileSourcePlugin& source, const QStringList& musicFolders)
{
    UnavailableFolders unavailable;
    QStringList present;
    for (const QString& folder : musicFolders) {
        if (const std::optional<QString> problem = PathProblem::ofFolderToRead(folder)) {
            unavailable.missing.append(folder);
            unavailable.problems.insert(folder, *problem);
        } else {
            present.append(folder);
        }
    }
    const QStringList away = source.mountPointsAway(present);
    for (const QString& folder : away) {
        if (present.contains(folder))
            unavailable.problems.insert(folder, QCoreApplication::translate("PathProblem", "nothing is mounted on it"));
    }
    unavailable.mountsAway = away;
    source.waitForMounts(away);
    return unavailable;
}

} // namespace

LibraryWorker::LibraryWorker(std::shared_ptr<LocalFileSourcePlugin> source, QObject* parent)
    : QObject(parent), m_source(std::move(source))
{
}

LibraryWorker::~LibraryWorker() = default;

LibraryWorker::Job LibraryWorker::job(JobKind kind)
{
    Job job;
    job.kind = kind;
    return job;
}

void LibraryWorker::setFolders(const QStringList& folders)
{
    m_folders = folders;
}

bool LibraryWorker::requestScan(ScanTrigger trigger)
{
    const bool queued = queueScan(trigger);
    startNextJob();
    return queued;
}

bool LibraryWorker::queueScan(ScanTrigger trigger)
{
    if (m_scanWaiting) {
        if (trigger == ScanTrigger::user) {
            const auto waiting = std::find_if(m_jobs.begin(), m_jobs.end(),
                                              [](const Job& queued) { return queued.kind == JobKind::scan; });
            if (waiting != m_jobs.end())
                waiting->trigger = trigger;
        }
        return false;
    }
    m_scanWaiting = true;
    Job scan = job(JobKind::scan);
    scan.trigger = trigger;
    m_jobs.push_back(std::move(scan));
    return true;
}

void LibraryWorker::applyFileEvents(DirectoryWatcher::EventBatch batch)
{
    Job events = job(JobKind::fileEvents);
    events.batch = std::move(batch);
    m_jobs.push_back(std::move(events));
    startNextJob();
}

void LibraryWorker::reload()
{
    m_jobs.push_back(job(JobKind::reload));
    startNextJob();
}

bool LibraryWorker::removeFolder(const QString& folder)
{
    Job removal = job(JobKind::folderRemoval);
    removal.folder = folder;
    m_removals.push_back(std::move(removal));
    bool queuedScan = false;
    if (m_running) {
        // What the running job read may hold the folder's tracks: it goes
        // without a result. Changes it missed are made up by a scan.
        if (m_running->kind == JobKind::scan || m_running->kind == JobKind::fileEvents)
            queuedScan = queueScan(m_running->trigger);
        m_worker.supersede();
    }
    startNextJob();
    return queuedScan;
}

void LibraryWorker::startNextJob()
{
    if (m_running || (m_removals.empty() && m_jobs.empty()))
        return;
    std::deque<Job>& queue = m_removals.empty() ? m_jobs : m_removals;
    m_running = std::move(queue.front());
    queue.pop_front();
    if (m_running->kind == JobKind::scan)
        m_scanWaiting = false;
    const Job running = *m_running;
    const std::function<void(const ScanProgress&)> progress =
        running.kind == JobKind::scan ? throttledProgress() : nullptr;
    m_worker.start([source = m_source, running, folders = m_folders,
                    progress](std::stop_token stop) { return perform(*source, running, folders, stop, progress); },
                   [this](Outcome outcome, std::exception_ptr) { finishJob(std::move(outcome)); },
                   [this, running] { superseded(running); });
}

void LibraryWorker::finishJob(Outcome outcome)
{
    m_running.reset();
    emit jobFinished(outcome);
    startNextJob();
}

void LibraryWorker::superseded(const Job& job)
{
    m_running.reset();
    if (job.kind == JobKind::folderRemoval) {
        // Removing rows again does no harm; its reload is what was dropped.
        m_removals.push_front(job);
    } else {
        Outcome outcome;
        outcome.kind = job.kind;
        emit jobFinished(outcome);
    }
    startNextJob();
}

LibraryWorker::Outcome LibraryWorker::perform(LocalFileSourcePlugin& source, const Job& job, const QStringList& folders,
                                              std::stop_token stop,
                                              const std::function<void(const ScanProgress&)>& progress)
{
    Outcome outcome;
    outcome.kind = job.kind;
    outcome.folder = job.folder;
    try {
        const UnavailableFolders unavailable = unavailableFolders(source, folders);
        const QStringList& missing = unavailable.missing;
        const QStringList& mountsAway = unavailable.mountsAway;
        const auto prepare = [&](QList<ScannedTrack> tracks) {
            // As the job left them: a scan reads the unreadable folders anew.
            Library library =
                prepared(source, std::move(tracks), folders, missing + source.unreadableFolders(), mountsAway);
            library.folderProblems = unavailable.problems;
            return library;
        };
        switch (job.kind) {
        case JobKind::scan:
            // With no folder at all there is nothing to bring up to date.
            if (!folders.isEmpty())
                outcome.library = prepare(scan(source, folders, missing, mountsAway, stop, progress, job.trigger));
            break;
        case JobKind::fileEvents: {
            // A folder the last scan could not read is read once it can be:
            // the watcher reports its files then. Events elsewhere leave it
            // be, and it is judged as the scan judges it, so a folder that
            // stays unreadable (one file in it that cannot be examined
            // included) costs no scan per batch.
            const QStringList unreadable = source.unreadableFolders();
            const auto touched = [&job](const QString& folder) {
                const QStringList under{folder};
                const auto isUnder = [&under](const QString& path) {
                    return MusicFolderEnumerator::liesUnder(path, under);
                };
                return std::any_of(job.batch.modified.cbegin(), job.batch.modified.cend(), isUnder)
                       || std::any_of(job.batch.removed.cbegin(), job.batch.removed.cend(), isUnder);
            };
            if (!folders.isEmpty() && std::any_of(unreadable.cbegin(), unreadable.cend(), [&](const QString& folder) {
                    return touched(folder) && !source.isUnreadableFolder(folder);
                })) {
                outcome.library = prepare(scan(source, folders, missing, mountsAway, stop, {}, ScanTrigger::automatic));
                break;
            }
            // Events may still come from a folder that was removed meanwhile.
            DirectoryWatcher::EventBatch batch = job.batch;
            batch.modified.removeIf(
                [&folders](const QString& path) { return !MusicFolderEnumerator::liesUnder(path, folders); });
            outcome.library = prepare(source.handleFileEvents(batch, stop));
            break;
        }
        case JobKind::folderRemoval: try { source.removeTracks(job.folder);
            } catch (...) {
                outcome.removalError = std::current_exception();
            }
            outcome.library = prepare(source.allTracksFromDatabase());
            break;
        case JobKind::reload: outcome.library = prepare(source.allTracksFromDatabase()); break;
        }
    } catch (const CancellationError&) {
        outcome.library.reset();
    } catch (...) {
        outcome.library.reset();
        outcome.error = std::current_exception();
    }
    return outcome;
}

QList<ScannedTrack> LibraryWorker::scan(LocalFileSourcePlugin& source, const QStringList& folders,
                                        const QStringList& missing, const QStringList& mountsAway, std::stop_token stop,
                                        const std::function<void(const ScanProgress&)>& progress, ScanTrigger trigger)
{
    // A missing folder stays a music folder but is not read, and its rows
    // stay until it is back or the user removes it; so do those of a mount
    // point that is away, whose own files are read all the same.
    QStringList present = folders;
    present.removeIf([&missing](const QString& folder) { return missing.contains(folder); });
    return source.scanDirectories(present, progress, stop, missing + mountsAway, trigger);
}

LibraryWorker::Library LibraryWorker::prepared(LocalFileSourcePlugin& source, QList<ScannedTrack> tracks,
                                               const QStringList& folders, const QStringList& missing,
                                               const QStringList& mountsAway)
{
    Library library;
    library.refs.reserve(tracks.size());
    for (const ScannedTrack& track : std::as_const(tracks))
        library.refs.append(track.ref());
    library.refIndex = std::make_shared<const LibraryRefIndex>(tracks, [&](qsizetype i) {
        const QString& path = tracks.at(i).fileURL();
        if (MusicFolderEnumerator::liesUnder(path, missing))
            return false;
        // Under a mount point that is away, a track plays when its file is there.
        return !MusicFolderEnumerator::liesUnder(path, mountsAway) || isThere(path);
    });
    library.tracks = std::move(tracks);
    for (const QString& folder : folders) {
        qint64 count = 0;
        try {
            count = source.trackCount(folder);
        } catch (...) {
            logError(lcApp(), QStringLiteral("Failed to count tracks under %1: %2")
                                  .arg(folder, describeException(std::current_exception())));
        }
        library.trackCounts.insert(folder, count);
    }
    return library;
}

std::function<void(const ScanProgress&)> LibraryWorker::throttledProgress()
{
    // The scan reports from its own thread, one report at a time. Posted to
    // this object, whose jobs are joined before it goes.
    auto lastPost = std::make_shared<std::chrono::steady_clock::time_point>();
    return [this, lastPost](const ScanProgress& progress) {
        const auto now = std::chrono::steady_clock::now();
        if (progress.completed < progress.total && now - *lastPost < progressInterval)
            return;
        *lastPost = now;
        QMetaObject::invokeMethod(
            this, [this, progress] { emit scanProgressed(progress); }, Qt::QueuedConnection);
    };
}

} // namespace vessa
