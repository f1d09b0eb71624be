#include "Vessa/App/Library/MusicLibrary.h"

#include "Oblin/PlayContext.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Library/MusicFolderWatcher.h"
#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/App/Library/WatchedDirectoriesSetting.h"
#include "Vessa/App/NowPlaying/SavedPlaybackState.h"
#include "VessaCore/ExceptionDescription.h"

#include <QSettings>

namespace vessa {

MusicLibrary::MusicLibrary(QSettings& settings, std::shared_ptr<LocalFileSourcePlugin> source, PlayContext& playContext,
                           TrackAvailabilityIndex& availabilityIndex, QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_playContext(playContext),
      m_availabilityIndex(availabilityIndex),
      m_watchedDirectories(WatchedDirectoriesSetting::load(settings))
{
    m_libraryWorker = std::make_unique<LibraryWorker>(source);
    connect(m_libraryWorker.get(), &LibraryWorker::jobFinished, this, &MusicLibrary::libraryJobFinished);
    connect(m_libraryWorker.get(), &LibraryWorker::scanProgressed, this, [this](const ScanProgress& progress) {
        setScanProgress(LibraryScanProgress{progress.completed, progress.total});
    });
    m_folderWatcher = std::make_unique<MusicFolderWatcher>(std::move(source));
    connect(m_folderWatcher.get(), &MusicFolderWatcher::filesChanged, this, &MusicLibrary::handleFileEvents);
    connect(&m_playContext, &PlayContext::queueIDChanged, this, &MusicLibrary::queueIdentityChanged);
    startDirectoryWatching();
}

MusicLibrary::~MusicLibrary() = default;

void MusicLibrary::setWatchedDirectories(const QStringList& folders)
{
    const bool changed = folders != m_watchedDirectories;
    m_watchedDirectories = folders;
    if (changed)
        emit watchedDirectoriesChanged();
    // The change action runs on every assignment.
    WatchedDirectoriesSetting::save(m_settings, m_watchedDirectories);
    startDirectoryWatching();
}

void MusicLibrary::startDirectoryWatching()
{
    m_libraryWorker->setFolders(m_watchedDirectories);
    m_folderWatcher->watch(m_watchedDirectories);
}

void MusicLibrary::addWatchedDirectory(const QString& folder)
{
    const QString path = WatchedDirectoriesSetting::normalized(folder);
    if (path.isEmpty() || m_watchedDirectories.contains(path))
        return;
    logInfo(lcApp(), QStringLiteral("Adding watched directory: ") + path);
    setWatchedDirectories(m_watchedDirectories + QStringList{path});
}

void MusicLibrary::removeWatchedDirectory(const QString& folder)
{
    const QString normalized = WatchedDirectoriesSetting::normalized(folder);
    const QString path = normalized.isEmpty() ? folder : normalized;
    logInfo(lcApp(), QStringLiteral("Removing watched directory: ") + path);
    QStringList remaining = m_watchedDirectories;
    remaining.removeAll(path);
    setWatchedDirectories(remaining);
    // The worker stops a running scan, deletes the rows and reloads; a
    // stopped scan is queued again over the remaining folders.
    if (m_libraryWorker->removeFolder(path))
        ++m_scansOutstanding;
}

void MusicLibrary::rescanAll(ScanTrigger trigger)
{
    if (m_watchedDirectories.isEmpty())
        return;
    logInfo(lcApp(), QStringLiteral("Starting scan of %1 directories").arg(m_watchedDirectories.size()));
    if (m_libraryWorker->requestScan(trigger))
        ++m_scansOutstanding;
    setIsScanning(true);
    setScanProgress(std::nullopt);
    emit scanRequested();
}

void MusicLibrary::reloadTracksFromDatabase()
{
    m_libraryWorker->reload();
}

qint64 MusicLibrary::trackCount(const QString& folder) const
{
    return m_trackCounts.value(WatchedDirectoriesSetting::normalized(folder), 0);
}

std::optional<QString> MusicLibrary::folderProblem(const QString& folder) const
{
    const auto problem = m_folderProblems.constFind(WatchedDirectoriesSetting::normalized(folder));
    return problem == m_folderProblems.cend() ? std::nullopt : std::optional<QString>(*problem);
}

void MusicLibrary::handleFileEvents(const DirectoryWatcher::EventBatch& batch)
{
    if (batch.mustRescan) {
        logInfo(lcApp(), QStringLiteral("inotify requested full rescan"));
        rescanAll();
        return;
    }
    logInfo(lcApp(), QStringLiteral("Handling file events: %1 modified, %2 removed")
                         .arg(batch.modified.size())
                         .arg(batch.removed.size()));
    m_libraryWorker->applyFileEvents(batch);
}

void MusicLibrary::libraryJobFinished(const LibraryWorker::Outcome& outcome)
{
    switch (outcome.kind) {
    case LibraryWorker::JobKind::scan:
        if (outcome.library) {
            publishLibrary(*outcome.library);
            logInfo(lcApp(), QStringLiteral("Scan complete: %1 tracks").arg(outcome.library->tracks.size()));
            loadLibraryQueue(*outcome.library);
        } else if (outcome.error) {
            logError(lcApp(), QStringLiteral("Scan failed: ") + describeException(outcome.error));
            emit failed(outcome.error);
        }
        scanEnded();
        return;
    case LibraryWorker::JobKind::fileEvents:
        if (outcome.library) {
            publishLibrary(*outcome.library);
            loadLibraryQueue(*outcome.library);
        } else if (outcome.error) {
            logError(lcApp(), QStringLiteral("File event handling failed: ") + describeException(outcome.error));
            emit failed(outcome.error);
        }
        return;
    case LibraryWorker::JobKind::folderRemoval:
        if (outcome.removalError) {
            logError(lcApp(), QStringLiteral("Failed to remove tracks under %1: %2")
                                  .arg(outcome.folder, describeException(outcome.removalError)));
            emit failed(outcome.removalError);
        }
        applyReload(outcome);
        return;
    case LibraryWorker::JobKind::reload: applyReload(outcome); return;
    }
}

void MusicLibrary::applyReload(const LibraryWorker::Outcome& outcome)
{
    if (outcome.error) {
        logError(lcApp(), QStringLiteral("Failed to load tracks from database: ") + describeException(outcome.error));
        emit failed(outcome.error);
        publishLibrary(LibraryWorker::Library());
    } else if (outcome.library) {
        publishLibrary(*outcome.library);
    } else {
        return; // outdated by a folder removal, whose own reload follows
    }
    const std::optional<TrackRef> previousTrack = m_playContext.currentTrack();
    const std::optional<TrackMetadata> previousMetadata = m_playContext.currentMetadata();
    const bool libraryQueue = queueFollowsLibrary();
    loadLibraryQueue(outcome.library ? *outcome.library : LibraryWorker::Library());
    // The state of the last quit is applied once per run, so that a later
    // reload does not undo the user's shuffle and repeat; a playlist started
    // before that is left as the user started it.
    if (m_savedStateApplied)
        return;
    m_savedStateApplied = true;
    if (!libraryQueue)
        return;
    if (const std::optional<SavedPlaybackState> saved = SavedPlaybackState::load(m_settings))
        saved->applyTo(m_playContext);
    // A track whose tags had loaded was in use: it wins over the saved one.
    if (previousTrack && previousMetadata)
        m_playContext.restorePosition(*previousTrack, previousMetadata);
}

void MusicLibrary::publishLibrary(const LibraryWorker::Library& library)
{
    m_trackCounts = library.trackCounts;
    m_folderProblems = library.folderProblems;
    m_scannedTracks = library.tracks;
    m_libraryRefs = library.refIndex;
    // The availability index follows every change of the library.
    m_availabilityIndex.setLibrary(library.refIndex);
    emit scannedTracksChanged();
}

bool MusicLibrary::queueFollowsLibrary() const
{
    const std::optional<QString>& queueID = m_playContext.queueID();
    return !queueID || *queueID == libraryQueueID || m_playContext.queue().isEmpty();
}

void MusicLibrary::loadQueue(const QList<TrackRef>& tracks, qsizetype startIndex, LibraryQueueOrderPtr order)
{
    m_playContext.loadQueue(tracks, startIndex, std::nullopt, std::nullopt, QString(libraryQueueID));
    m_queueOrder = std::move(order);
    m_queueRebuild.supersede();
}

void MusicLibrary::loadLibraryQueue(const LibraryWorker::Library& library)
{
    // A playlist's or a document's queue keeps its entries, hints and place.
    if (!queueFollowsLibrary())
        return;
    if (!m_queueOrder) {
        m_queueRebuild.supersede();
        // Whatever resolves or plays goes on, and its entry stays current.
        m_playContext.reloadQueue(library.refs);
        return;
    }
    m_queueRebuild.start(
        [order = m_queueOrder, tracks = library.tracks](std::stop_token stop) { return order->queueFor(tracks, stop); },
        [this, order = m_queueOrder](const QList<TrackRef>& queue, std::exception_ptr error) {
            if (error) {
                logError(lcApp(), QStringLiteral("Failed to rebuild the play queue: ") + describeException(error));
                return;
            }
            // A queue loaded meanwhile stands.
            if (order == m_queueOrder && queueFollowsLibrary())
                m_playContext.reloadQueue(queue);
        });
}

void MusicLibrary::queueIdentityChanged()
{
    if (queueFollowsLibrary())
        return;
    m_queueOrder.reset();
    m_queueRebuild.supersede();
}

void MusicLibrary::scanEnded()
{
    m_scansOutstanding = std::max(0, m_scansOutstanding - 1);
    setIsScanning(m_scansOutstanding > 0);
}

void MusicLibrary::setIsScanning(bool scanning)
{
    if (scanning == m_isScanning)
        return;
    m_isScanning = scanning;
    emit isScanningChanged();
}

void MusicLibrary::setScanProgress(std::optional<LibraryScanProgress> progress)
{
    m_scanProgress = progress;
    emit scanProgressChanged();
}

} // namespace vessa
