#include "Vessa/Views/TrackLists/PlaylistContentModel.h"

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Rasko/FileHint.h"
#include "Rasko/PluginRegistry.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Library/MusicLibrary.h"
#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/TrackLists/TrackListIndex.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace vessa {

PlaylistContentModel::PlaylistContentModel(TrackListServices services, PlaylistStorage storage,
                                           FileRevealerPtr revealer, QObject* parent)
    : QObject(parent),
      FilterAndSortHolder(IndexSort::ascendingOnly),
      m_services(std::move(services)),
      m_storage(std::move(storage)),
      m_revealer(revealer ? std::move(revealer) : std::make_shared<DesktopFileRevealer>()),
      m_rowsRefresh(new CoalescedRefresh([this] { buildRows(); }, this))
{
    watchLibrary();
    connect(&m_services.playlistQueue, &PlaylistQueue::playlistLibraryChanged, this, [this] {
        watchLibrary();
        reloadEntries();
    });
    connect(&m_services.musicLibrary, &MusicLibrary::scannedTracksChanged, m_rowsRefresh, &CoalescedRefresh::request);
    PlayContext& playContext = m_services.playContext;
    connect(&playContext, &PlayContext::queueIDChanged, m_rowsRefresh, &CoalescedRefresh::request);
    connect(&playContext, &PlayContext::playingIndexChanged, m_rowsRefresh, &CoalescedRefresh::request);
    connect(&playContext, &PlayContext::queueChanged, m_rowsRefresh, &CoalescedRefresh::request);
    connect(&m_services.availability, &TrackAvailabilityIndex::changed, m_rowsRefresh, &CoalescedRefresh::request);

    m_queueIdentity = queueID();
    showEntries(playlist().tracks);
}

PlaylistContentModel::~PlaylistContentModel()
{
    // A document never saved is known by its name alone, which the next new
    // document may take: its queue follows no other document.
    if (m_storage.isDocument() && !m_storage.filePath())
        m_services.playlistQueue.release(m_queueIdentity);
}

void PlaylistContentModel::watchLibrary()
{
    connect(&m_services.playlistQueue.playlistLibrary(), &PlaylistLibrary::playlistsChanged, this,
            &PlaylistContentModel::reloadEntries, Qt::UniqueConnection);
}

void PlaylistContentModel::setStorage(PlaylistStorage storage)
{
    m_storage = std::move(storage);
    carryQueueIdentity();
    showEntries(playlist().tracks);
    emit storageChanged();
}

void PlaylistContentModel::showPlaylist(PlaylistStorage storage)
{
    restoreFilterAndSort(FilterAndSort());
    m_storage = std::move(storage);
    m_queueIdentity = queueID();
    showEntries(playlist().tracks);
    emit storageChanged();
}

void PlaylistContentModel::documentChanged()
{
    carryQueueIdentity();
    reloadEntries();
    emit storageChanged();
}

void PlaylistContentModel::carryQueueIdentity()
{
    // The same playlist under another identity (its document saved under
    // another file, or named after it): the queue played from it goes
    // along, before it follows what the move changed (hints rewritten for
    // a new folder).
    const QString identity = queueID();
    if (identity == m_queueIdentity)
        return;
    m_services.playlistQueue.rename(m_queueIdentity, identity, libraryName(), playlistFilePath());
    m_queueIdentity = identity;
}

Playlist PlaylistContentModel::playlist() const
{
    if (m_storage.isDocument())
        return m_storage.document()->playlist;
    return m_services.playlistQueue.playlistLibrary()
        .playlist(m_storage.name())
        .value_or(Playlist(m_storage.name(), QList<PlaylistTrack>()));
}

std::optional<QString> PlaylistContentModel::playlistFilePath() const
{
    return m_storage.isDocument() ? m_storage.filePath() : std::nullopt;
}

std::optional<QString> PlaylistContentModel::libraryName() const
{
    return m_storage.isLibrary() ? std::optional<QString>(m_storage.name()) : std::nullopt;
}

QString PlaylistContentModel::queueID() const
{
    // Every identity starts with a scheme of its own, so none is the library's
    // (MusicLibrary::libraryQueueID) nor another kind's, whatever the name.
    if (m_storage.isLibrary())
        return QStringLiteral("playlist:") + m_storage.name();
    if (m_storage.filePath())
        return QUrl::fromLocalFile(*m_storage.filePath()).toString(QUrl::FullyEncoded);
    return QStringLiteral("document:") + m_storage.document()->playlist.name;
}

QString PlaylistContentModel::navigationTitle() const
{
    return m_storage.isLibrary() ? m_storage.name() : m_storage.document()->playlist.name;
}

bool PlaylistContentModel::isManualOrder() const
{
    return filterAndSort().isStoredOrder();
}

TrackTableConfiguration PlaylistContentModel::configuration() const
{
    return TrackTableConfiguration{false, true, isManualOrder(), takesDrops(),
                                   m_services.pluginRegistry.allSupportedExtensions()};
}

void PlaylistContentModel::filterAndSortChanged(Change)
{
    recomputeDisplayedTracks();
}

void PlaylistContentModel::reloadEntries()
{
    QList<PlaylistTrack> entries = playlist().tracks;
    if (entries != m_entries)
        showEntries(std::move(entries));
}

void PlaylistContentModel::showEntries(QList<PlaylistTrack> entries)
{
    m_entries = std::move(entries);
    m_index = indexOf(m_entries);
    m_displayed = filterAndSort().shownIn(m_index);
    // The queue loaded from this playlist follows the version shown (one
    // opened again may differ from the one it holds); the rows then mark
    // where what sounds now stands.
    m_services.playlistQueue.follow(queueID(), m_entries, m_edit);
    buildRows();
}

TrackListIndex PlaylistContentModel::indexOf(const QList<PlaylistTrack>& entries)
{
    QList<TrackListIndex::Item> items;
    items.reserve(entries.size());
    for (const PlaylistTrack& entry : entries) {
        const std::optional<qint64> duration = entry.ref.durationHint();
        items.append({entry.ref.track(), entry.ref.artist(), entry.ref.album(),
                      duration ? std::optional<double>(double(*duration)) : std::nullopt, 0});
    }
    return TrackListIndex(items, false);
}

void PlaylistContentModel::recomputeDisplayedTracks()
{
    m_displayed = filterAndSort().shownIn(m_index);
    buildRows();
}

void PlaylistContentModel::buildRows()
{
    const QString unknown = QCoreApplication::translate("TrackLists", "Unknown");
    const auto orUnknown = [&unknown](const QString& text) { return text.isEmpty() ? unknown : text; };
    const std::optional<QString> filePath = playlistFilePath();
    // The entry that sounds from this playlist's queue, in whatever order and
    // filter it is shown; entries added to the queue, or kept there after the
    // playlist lost them, are no row.
    const std::optional<qsizetype> sounding = m_services.playlistQueue.soundingEntry(queueID(), m_entries);
    const TrackAvailabilityIndex& availability = m_services.availability;
    // The first scanned file of every track.
    const LibraryRefIndex& library = m_services.musicLibrary.libraryRefs();

    TrackRows rows;
    rows.reserve(m_displayed.size());
    for (qsizetype position = 0; position < m_displayed.size(); ++position) {
        const qsizetype index = m_displayed[position];
        const PlaylistTrack& entry = m_entries[index];
        TrackRow row;
        row.id = TrackRowId(qint64(index));
        row.ref = entry.ref;
        // A drag carries the hint as "Copy to Library" writes it: naming the file in full.
        if (entry.fileHint)
            row.fileHint = FileHint::rebase(*entry.fileHint, filePath, std::nullopt);
        row.index = index;
        row.title = orUnknown(entry.ref.track());
        row.artist = orUnknown(entry.ref.artist());
        row.album = orUnknown(entry.ref.album());
        if (const std::optional<qint64> duration = entry.ref.durationHint())
            row.duration = double(*duration);
        row.isPlaying = sounding == index;
        const TrackAvailability answer = availability.availability(entry.ref, entry.fileHint, filePath);
        row.isResolvable = answer == TrackAvailability::available;
        row.isDownloadable = answer == TrackAvailability::downloadable;
        if (const std::optional<QString> file = library.firstFile(entry.ref))
            row.userInfo = *file;
        else if (const std::optional<QString> file = resolveFileHint(entry.fileHint, filePath))
            row.userInfo = *file;
        rows.append(std::move(row));
    }
    m_rows = std::move(rows);
    emit rowsChanged();
}

std::optional<QString> PlaylistContentModel::resolveFileHint(const std::optional<QString>& hint,
                                                             const std::optional<QString>& playlistFilePath)
{
    if (!hint || FileHint::form(*hint) == FileHint::Form::bare)
        return std::nullopt;
    const std::optional<QString> path = FileHint::resolve(*hint, playlistFilePath, FileHint::BadEscapes::unresolvable);
    if (!path || !QFileInfo::exists(*path))
        return std::nullopt;
    return path;
}

std::optional<PlaylistContentModel::QueueRequest> PlaylistContentModel::queueRequest(qsizetype index) const
{
    const qsizetype position = m_displayed.indexOf(index);
    if (position < 0)
        return std::nullopt;
    QueueRequest request;
    PlaylistQueue::ShownEntries shown = PlaylistQueue::shownEntries(m_entries, m_displayed);
    request.tracks = std::move(shown.tracks);
    request.fileHints = std::move(shown.fileHints);
    request.startIndex = position;
    request.playlistFilePath = playlistFilePath();
    request.queueID = queueID();
    return request;
}

void PlaylistContentModel::playTrack(qsizetype index)
{
    const qsizetype position = m_displayed.indexOf(index);
    if (position < 0)
        return;
    qCDebug(lcPlaylistContent, "Playing track from playlist '%s' at display position %ld",
            qUtf8Printable(navigationTitle()), long(position));
    // The queue keeps the filter and sort shown now for the playlist's later versions.
    PlaylistQueueOrder order;
    if (!filterAndSort().isStoredOrder()) {
        order = [shown = filterAndSort()](const QList<PlaylistTrack>& entries) {
            TrackListIndex index = indexOf(entries);
            return shown.shownIn(index);
        };
    }
    m_services.playlistQueue.load(queueID(), libraryName(), m_entries, m_displayed, std::move(order), position,
                                  playlistFilePath());
    m_services.playContext.execute(PlaybackCommand::play());
}

} // namespace vessa
