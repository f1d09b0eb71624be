#include "RaskoLocalFile/LocalFileSourcePlugin.h"

#include "RaskoLocalFile/FileEventIndexer.h"
#include "RaskoLocalFile/IndexingRun.h"
#include "RaskoLocalFile/LibraryOrder.h"
#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/MountPoints.h"
#include "RaskoLocalFile/MountTable.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoLocalFile/ScanComparison.h"
#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "VessaCore/Error.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/FreedMemory.h"
#include "VessaCore/JoinedFields.h"
#include "VessaCore/Logging.h"
#include "VessaCore/Utf8.h"
#include "VessaCore/WorkerThreads.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <future>
#include <vector>

namespace vessa {

namespace {

QSet<QString> indexedExtensions(const QSet<QString>& extensions)
{
    QSet<QString> lowered;
    for (const QString& extension : extensions)
        lowered.insert(extension.toLower());
    lowered.removeIf([](const QString& extension) { return ZipArchive::isArchiveExtension(extension); });
    return lowered;
}

// Whether one folder lies inside another, or twice in the list, as texts:
// only then can two entries have the same path.
bool foldersOverlap(const QStringList& directories)
{
    QStringList folders;
    for (const QString& directory : directories)
        folders.append(MusicFolderEnumerator::withoutTrailingSlashes(directory));
    for (const QString& outer : std::as_const(folders)) {
        if (outer == u"/")
            return folders.size() > 1;
        int inside = 0;
        for (const QString& inner : std::as_const(folders)) {
            if (inner == outer || inner.startsWith(outer + u'/'))
                ++inside;
        }
        if (inside > 1)
            return true;
    }
    return false;
}

// Throws fileNotFound, after logging `missingLine` with the path, when
// nothing is at the path, and cannotRead when what is there cannot be read
// (a folder on the way or the file itself closed to this user).
void requireReadable(const QString& path, const QString& missingLine)
{
    if (!path.isEmpty() && ::faccessat(AT_FDCWD, pathToBytes(path).constData(), R_OK, AT_EACCESS) == 0)
        return;
    const int error = path.isEmpty() ? ENOENT : errno;
    if (error == ENOENT || error == ENOTDIR) {
        logError(lcLocalFileResolve(), missingLine.arg(path));
        throw LocalFileError::fileNotFound(path);
    }
    QString reason = QString::fromLocal8Bit(std::strerror(error));
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    logError(lcLocalFileResolve(), QStringLiteral("File unreadable: %1 (%2)").arg(path, reason));
    throw LocalFileError::cannotRead(path, reason);
}

} // namespace

LocalFileSourcePlugin::LocalFileSourcePlugin(std::shared_ptr<MediaDatabase> database,
                                             MetadataExtractorPtr metadataExtractor,
                                             QList<MultiTrackScannerPtr> multiTrackScanners,
                                             QSet<QString> supportedExtensions)
    : m_database(std::move(database)),
      m_supportedExtensions(indexedExtensions(supportedExtensions)),
      m_indexer(std::move(metadataExtractor), std::move(multiTrackScanners))
{
}

LocalFileSourcePlugin::~LocalFileSourcePlugin() = default;

QString LocalFileSourcePlugin::name() const
{
    return QStringLiteral("LocalFile");
}

bool LocalFileSourcePlugin::canHandle(const TrackRef& ref) const
{
    return ref.scheme() == u"track";
}

SourceResult LocalFileSourcePlugin::resolve(const TrackRef& ref)
{
    const QString artist = ref.artist();
    const QString title = ref.track();
    const QList<MediaDatabase::TrackRow> rows = m_database->findTracks(artist, ref.album(), title, ref.durationHint());
    if (rows.isEmpty()) {
        logError(lcLocalFileResolve(), QStringLiteral("Track not found: ") + joinedFields({artist, title}));
        throw LocalFileError::trackNotFound(artist, ref.album(), title);
    }
    // Only the first row counts: when its file is gone the track fails to
    // resolve, and the next scan or file event brings the index up to date.
    const MediaDatabase::TrackRow& row = rows.constFirst();
    if (const std::optional<ZipMemberPath::Parts> member = ZipMemberPath::split(row.filePath)) {
        requireReadable(member->archivePath, QStringLiteral("Zip file missing: %1"));
        QByteArray bytes = ZipArchive::extractFromZip(member->archivePath, member->memberPath);
        logDebug(lcLocalFileResolve(),
                 QStringLiteral("Resolved (zip): %1 → %2::%3")
                     .arg(joinedFields({artist, title}), member->archivePath, member->memberPath));
        return SourceResult(SourceLocator::data(std::move(bytes)), row.fileExtension);
    }
    requireReadable(row.filePath, QStringLiteral("File missing: %1"));
    logDebug(lcLocalFileResolve(),
             QStringLiteral("Resolved: %1 → %2").arg(joinedFields({artist, title}), row.filePath));
    return SourceResult(SourceLocator::fileURL(row.filePath), row.fileExtension);
}

QList<ScannedTrack> LocalFileSourcePlugin::scanDirectories(const QStringList& directories,
                                                           const ProgressCallback& progress, std::stop_token stop,
                                                           const QStringList& keptDirectories, ScanTrigger trigger)
{
    logInfo(lcLocalFileScan(), QStringLiteral("Starting scan of %1 directories").arg(directories.size()));
    updateIndex(directories, keptDirectories, progress, stop, trigger);
    logInfo(lcLocalFileScan(), QStringLiteral("Scan complete"));
    QList<ScannedTrack> tracks = allTracksFromDatabase();
    FreedMemory::releaseAfter(tracks.size());
    return tracks;
}

QStringList LocalFileSourcePlugin::unreadableFolders()
{
    std::lock_guard lock(m_watcherMutex);
    return m_unreadableFolders;
}

bool LocalFileSourcePlugin::isUnreadableFolder(const QString& path) const
{
    return MusicFolderEnumerator::isUnreadableFolder(path, m_supportedExtensions);
}

void LocalFileSourcePlugin::updateIndex(const QStringList& directories, const QStringList& keptDirectories,
                                        const ProgressCallback& progress, std::stop_token stop, ScanTrigger trigger)
{
    // The index's dates and marks are read while the folders are listed;
    // archives are looked into once both are known, and one whose members
    // were all read at its current date and size is not opened again.
    std::promise<ScanComparison::Stored> reading;
    const auto readIndex = [this, &reading](std::stop_token) {
        ScanComparison::Stored stored;
        try {
            m_database->forEachFileModTime(
                [&stored](QByteArrayView path, const QDateTime& date) { stored.dates.add(path, date); });
            stored.marks = m_database->allFileMarks();
            stored.archives = MusicFolderEnumerator::indexedArchives(stored.dates, stored.marks);
            stored.mountPoints = m_database->mountPoints();
        } catch (...) {
            stored.error = std::current_exception();
        }
        reading.set_value(std::move(stored));
    };
    QList<FileEntry> changed;
    QList<FileEntry> openedArchives;
    {
        // A file reached twice (nested or repeated music folders) counts
        // once; only then is a set of the paths listed needed.
        ScanComparison comparison(reading.get_future(), foldersOverlap(directories), m_supportedExtensions, trigger);
        QStringList mountPoints;
        QStringList unreadable;
        WorkerThreads::run({readIndex}, [&](std::stop_token) {
            MusicFolderEnumerator::listFiles(
                directories, m_supportedExtensions, stop,
                [&comparison](FileEntry&& entry) { comparison.add(std::move(entry)); }, &mountPoints, &unreadable);
        });
        comparison.finish();
        logDebug(lcLocalFileScan(), QStringLiteral("Found %1 audio files, %2 new/modified")
                                        .arg(comparison.found())
                                        .arg(comparison.changed().size()));

        if (stop.stop_requested())
            throw CancellationError();
        // The mount table also names what the devices do not tell apart (a
        // folder bound from the same disk).
        if (const std::optional<QStringList> table = MountTable::read()) {
            for (const QString& mountPoint : MountTable::atOrBelow(*table, directories)) {
                if (!mountPoints.contains(mountPoint))
                    mountPoints.append(mountPoint);
            }
        }
        {
            std::lock_guard lock(m_watcherMutex);
            m_unreadableFolders = unreadable;
        }
        // What could not be read keeps its rows and marks, as a missing folder does.
        const QStringList kept = keptDirectories + unreadable;
        // A mount point that is away now stays one until it is back.
        const QStringList& storedMountPoints = comparison.storedMountPoints();
        mountPoints = MountPoints::remembered(mountPoints, storedMountPoints, kept);
        if (QSet<QString>(mountPoints.cbegin(), mountPoints.cend())
            != QSet<QString>(storedMountPoints.cbegin(), storedMountPoints.cend()))
            m_database->replaceMountPoints(mountPoints);
        // Marks go before rows, so that no mark outlives the rows it vouches for.
        m_database->removeFileMarks(comparison.staleMarks(kept));
        m_database->removeTracksWithPaths(comparison.vanished(kept));
        changed = comparison.takeChanged();
        openedArchives = comparison.takeOpenedArchives();
    }
    IndexingRun(m_indexer, *m_database, maximumFilesInFlight).run(changed, openedArchives, progress, stop);
}

QList<ScannedTrack> LocalFileSourcePlugin::allTracksFromDatabase()
{
    {
        std::lock_guard lock(m_libraryMutex);
        if (m_library && m_library->writeCount == m_database->writeCount())
            return m_library->tracks;
    }
    // A write that begins while the rows are read changes the count, and the
    // list is then not kept.
    const quint64 writeCount = m_database->writeCount();
    QList<ScannedTrack> tracks = libraryOf(*m_database);
    if (m_database->writeCount() == writeCount) {
        std::lock_guard lock(m_libraryMutex);
        m_library = Library{writeCount, tracks};
    }
    return tracks;
}

QList<ScannedTrack> LocalFileSourcePlugin::handleFileEvents(const DirectoryWatcher::EventBatch& batch,
                                                            std::stop_token stop)
{
    FileEventIndexer(m_indexer, *m_database, m_supportedExtensions).apply(batch, stop);
    QList<ScannedTrack> tracks = allTracksFromDatabase();
    FreedMemory::releaseAfter(tracks.size());
    return tracks;
}

QStringList LocalFileSourcePlugin::mountPointsAway(const QStringList& directories)
{
    return MountPoints::away(m_database->mountPoints(), directories);
}

void LocalFileSourcePlugin::waitForMounts(const QStringList& folders)
{
    std::shared_ptr<DirectoryWatcher> watcher;
    {
        std::lock_guard lock(m_watcherMutex);
        if (m_foldersAway == folders)
            return;
        m_foldersAway = folders;
        watcher = m_watcher;
    }
    if (watcher)
        watcher->waitForMounts(folders);
}

qint64 LocalFileSourcePlugin::trackCount(const QString& underDirectory)
{
    return m_database->countTracks(underDirectory);
}

void LocalFileSourcePlugin::removeTracks(const QString& underDirectory)
{
    m_database->removeTracksUnderDirectory(underDirectory);
}

void LocalFileSourcePlugin::startWatching(const QStringList& directories, DirectoryWatcher::Callback onChange)
{
    std::shared_ptr<DirectoryWatcher> watcher;
    QStringList away;
    {
        std::lock_guard lock(m_watcherMutex);
        if (!m_watcher)
            m_watcher = std::make_shared<DirectoryWatcher>(watchDebounceInterval, std::move(onChange));
        watcher = m_watcher;
        away = m_foldersAway;
    }
    watcher->watch(directories, away);
}

void LocalFileSourcePlugin::stopWatching()
{
    std::shared_ptr<DirectoryWatcher> watcher;
    {
        std::lock_guard lock(m_watcherMutex);
        watcher = std::move(m_watcher);
    }
    if (watcher)
        watcher->stop();
}

ScannedTrack LocalFileSourcePlugin::scannedTrack(const MediaDatabase::TrackRowBytes& row)
{
    std::optional<double> duration;
    if (row.durationSeconds)
        duration = double(*row.durationSeconds);
    // The stored texts are taken as they are, with no texts made on the way,
    // unless something other than this program wrote bytes that are not
    // UTF-8; those read as the texts do.
    if (isValidUtf8(row.artist) && isValidUtf8(row.album) && isValidUtf8(row.title))
        return ScannedTrack::fromBytes(
            TrackRef::fromUtf8(row.artist, row.album, row.title, row.durationSeconds, row.subTrackIndex), row.title,
            row.artist, row.album, duration, row.trackNumber, row.discNumber, row.filePath);
    const QString artist = QString::fromUtf8(row.artist);
    const QString album = QString::fromUtf8(row.album);
    const QString title = QString::fromUtf8(row.title);
    return ScannedTrack(TrackRef(artist, album, title, row.durationSeconds, row.subTrackIndex), title, artist, album,
                        duration, row.trackNumber, row.discNumber, pathFromBytes(row.filePath));
}

QList<ScannedTrack> LocalFileSourcePlugin::libraryOf(MediaDatabase& database)
{
    // Each row becomes its entry as it is read, with nothing made on the way,
    // so each reading thread's entries lie together in memory. The runs come
    // by id, one after the other.
    constexpr int pieces = 4;
    std::array<QList<ScannedTrack>, pieces> tracksOf;
    std::array<std::vector<qint64>, pieces> idsOf;
    const std::vector<qint64> idsInOrder =
        database.readLibrary(pieces, [&tracksOf, &idsOf](int piece, const MediaDatabase::TrackRowBytes& row) {
            tracksOf[size_t(piece)].append(scannedTrack(row));
            idsOf[size_t(piece)].push_back(row.id);
        });
    QList<ScannedTrack> byId;
    std::vector<qint64> ids;
    byId.reserve(qsizetype(idsInOrder.size()));
    ids.reserve(idsInOrder.size());
    for (int piece = 0; piece < pieces; ++piece) {
        for (ScannedTrack& track : tracksOf[size_t(piece)])
            byId.append(std::move(track));
        ids.insert(ids.end(), idsOf[size_t(piece)].begin(), idsOf[size_t(piece)].end());
        tracksOf[size_t(piece)] = {};
    }
    std::vector<LibraryOrder::Key> keys;
    keys.reserve(ids.size());
    for (const ScannedTrack& track : std::as_const(byId))
        keys.push_back({track.bytes(ScannedTrack::Text::artist), track.bytes(ScannedTrack::Text::album),
                        track.discNumber(), track.trackNumber()});
    std::vector<qsizetype> positions;
    positions.reserve(idsInOrder.size());
    for (const qint64 id : idsInOrder) {
        const auto found = std::lower_bound(ids.begin(), ids.end(), id);
        if (found != ids.end() && *found == id)
            positions.push_back(found - ids.begin());
    }
    LibraryOrder::sortAlbums(positions, keys);
    QList<ScannedTrack> tracks;
    tracks.reserve(qsizetype(positions.size()));
    for (const qsizetype position : positions)
        tracks.append(std::move(byId[position]));
    return tracks;
}

} // namespace vessa
