#include "Vessa/Views/TrackLists/PlaylistContentModel.h"

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Rasko/FileHint.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/AppState.h"
#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/TrackLists/TrackListIndex.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace vessa {

PlaylistContentModel::PlaylistContentModel(AppState& appState, PlaylistStorage storage, FileRevealerPtr revealer,
                                           QObject* parent)
    : QObject(parent),
      m_appState(appState),
      m_storage(std::move(storage)),
      m_revealer(revealer ? std::move(revealer) : std::make_shared<DesktopFileRevealer>()),
      m_rowsRefresh(new CoalescedRefresh([this] { buildRows(); }, this))
{
    const auto watchLibrary = [this] {
        connect(&m_appState.playlistLibrary(), &PlaylistLibrary::playlistsChanged, this,
                &PlaylistContentModel::reloadEntries, Qt::UniqueConnection);
    };
    watchLibrary();
    connect(&appState, &AppState::playlistLibraryChanged, this, [this, watchLibrary] {
        watchLibrary();
        reloadEntries();
    });
    connect(&appState, &AppState::scannedTracksChanged, m_rowsRefresh, &CoalescedRefresh::request);
    PlayContext& playContext = appState.playContext();
    connect(&playContext, &PlayContext::queueIDChanged, m_rowsRefresh, &CoalescedRefresh::request);
    connect(&playContext, &PlayContext::playingIndexChanged, m_rowsRefresh, &CoalescedRefresh::request);
    connect(&playContext, &PlayContext::queueChanged, m_rowsRefresh, &CoalescedRefresh::request);
    connect(&appState.availabilityIndex(), &TrackAvailabilityIndex::changed, m_rowsRefresh, &CoalescedRefresh::request);

    setEntries(playlist().tracks);
}

PlaylistContentModel::~PlaylistContentModel() = default;

void PlaylistContentModel::setStorage(PlaylistStorage storage)
{
    m_storage = std::move(storage);
    setEntries(playlist().tracks);
    emit storageChanged();
}

void PlaylistContentModel::showPlaylist(PlaylistStorage storage)
{
    m_searchText.clear();
    m_sortKey = QStringLiteral("index");
    m_sortAscending = true;
    setStorage(std::move(storage));
}

void PlaylistContentModel::documentChanged()
{
    reloadEntries();
    emit storageChanged();
}

Playlist PlaylistContentModel::playlist() const
{
    if (m_storage.isDocument())
        return m_storage.document()->playlist;
    return m_appState.playlistLibrary()
        .playlist(m_storage.name())
        .value_or(Playlist(m_storage.name(), QList<PlaylistTrack>()));
}

std::optional<QString> PlaylistContentModel::playlistFilePath() const
{
    return m_storage.isDocument() ? m_storage.filePath() : std::nullopt;
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
    return m_sortKey == QLatin1String("index") && m_sortAscending && m_searchText.isEmpty();
}

TrackTableConfiguration PlaylistContentModel::configuration() const
{
    return TrackTableConfiguration{false, true, isManualOrder(), takesDrops(),
                                   m_appState.pluginRegistry().allSupportedExtensions()};
}

void PlaylistContentModel::setSearchText(const QString& text)
{
    m_searchText = text;
    recomputeDisplayedTracks();
}

void PlaylistContentModel::setSort(const QString& key, bool ascending)
{
    m_sortKey = key;
    m_sortAscending = key == QLatin1String("index") ? true : ascending;
    recomputeDisplayedTracks();
}

void PlaylistContentModel::reloadEntries()
{
    QList<PlaylistTrack> entries = playlist().tracks;
    if (entries == m_entries)
        return;
    setEntries(std::move(entries));
    // The queue loaded from this playlist follows, in the order shown; the
    // rows then mark where what plays now stands.
    m_appState.playlistQueue().follow(queueID(), m_entries, m_displayed, m_edit);
    buildRows();
}

void PlaylistContentModel::setEntries(QList<PlaylistTrack> entries)
{
    m_entries = std::move(entries);
    QList<TrackListIndex::Item> items;
    items.reserve(m_entries.size());
    for (const PlaylistTrack& entry : std::as_const(m_entries)) {
        const std::optional<qint64> duration = entry.ref.durationHint();
        items.append({entry.ref.track(), entry.ref.artist(), entry.ref.album(),
                      duration ? std::optional<double>(double(*duration)) : std::nullopt, 0});
    }
    m_index = TrackListIndex(items, false);
    recomputeDisplayedTracks();
}

void PlaylistContentModel::recomputeDisplayedTracks()
{
    m_displayed = m_index.sorted(m_index.filtered(m_searchText), m_sortKey, m_sortAscending);
    buildRows();
}

void PlaylistContentModel::buildRows()
{
    const QString unknown = QCoreApplication::translate("TrackLists", "Unknown");
    const auto orUnknown = [&unknown](const QString& text) { return text.isEmpty() ? unknown : text; };
    const std::optional<QString> filePath = playlistFilePath();
    const PlayContext& playContext = m_appState.playContext();
    const bool ownQueue = playContext.queueID() && *playContext.queueID() == queueID();
    // The queue's list is the shown rows; entries added to the queue, or
    // kept there after the playlist lost them, are no row.
    const std::optional<qsizetype> playingIndex = ownQueue ? playContext.playingListIndex() : std::nullopt;
    const TrackAvailabilityIndex& availability = m_appState.availabilityIndex();
    // The first scanned file of every track.
    const LibraryRefIndex& library = m_appState.musicLibrary().libraryRefs();

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
        row.isPlaying = playingIndex == position;
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
    const std::optional<QString> libraryName =
        m_storage.isLibrary() ? std::optional<QString>(m_storage.name()) : std::nullopt;
    m_appState.playlistQueue().load(queueID(), libraryName, m_entries, m_displayed, position, playlistFilePath());
    m_appState.playContext().execute(PlaybackCommand::play());
}

} // namespace vessa
