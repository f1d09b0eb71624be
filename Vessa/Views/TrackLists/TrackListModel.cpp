#include "Vessa/Views/TrackLists/TrackListModel.h"

#include "Oblin/PlayContext.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Library/MusicLibrary.h"
#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/TrackLists/LibraryListOrder.h"
#include "Vessa/Views/TrackLists/LibraryRowSource.h"
#include "Vessa/Views/TrackLists/TrackListMenus.h"
#include "VessaCore/DiscTrackKey.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/FreedMemory.h"
#include "VessaCore/ListSizes.h"

#include <QHash>
#include <QSettings>

#include <algorithm>
#include <numeric>

namespace vessa {

TrackListModel::TrackListModel(TrackListServices services, FileRevealerPtr revealer, QObject* parent)
    : QObject(parent),
      FilterAndSortHolder(IndexSort::eitherWay),
      m_services(std::move(services)),
      m_revealer(revealer ? std::move(revealer) : std::make_shared<DesktopFileRevealer>()),
      m_rowSource(std::make_shared<TrackRowList>(TrackRows())),
      m_marksRefresh(new CoalescedRefresh([this] { buildRows(); }, this))
{
    restoreFilterAndSort(FilterAndSort{m_services.settings.value(searchTextKey, QString()).toString()});
    connect(&m_services.playContext, &PlayContext::currentTrackChanged, m_marksRefresh, &CoalescedRefresh::request);
    connect(&m_services.availability, &TrackAvailabilityIndex::changed, m_marksRefresh, &CoalescedRefresh::request);
}

TrackListModel::~TrackListModel() = default;

QString TrackListModel::trackNumberDisplay(const ScannedTrack& track)
{
    if (!track.trackNumber())
        return QString();
    if (track.discNumber().value_or(0) >= 2)
        return QStringLiteral("%1-%2").arg(*track.discNumber()).arg(*track.trackNumber(), 2, 10, QLatin1Char('0'));
    return QString::number(*track.trackNumber());
}

qint64 TrackListModel::discTrackKey(const ScannedTrack& track)
{
    return DiscTrackKey::of(track.discNumber(), track.trackNumber());
}

void TrackListModel::setScannedTracks(const QList<ScannedTrack>& tracks, const std::optional<SidebarSource>& source)
{
    // A library read again without a change is the very same list: what is
    // shown or being prepared for it stands.
    if (tracks.isSharedWith(m_requestedTracks) && !tracks.isEmpty() && source == m_requestedSource)
        return;
    m_requestedTracks = tracks;
    m_requestedSource = source;
    if (tracks.size() < ListSizes::largeList) {
        m_preparation.supersede();
        show(prepared(tracks, source));
        return;
    }
    if (filterAndSort().isStoredOrder()) {
        // The library's own order without a filter needs none of the sort
        // and search keys: the list is shown at once and the keys follow.
        m_tracks = tracks;
        m_source = source;
        m_index = TrackListIndex();
        m_indexPending = true;
        m_displayed.resize(tracks.size());
        std::iota(m_displayed.begin(), m_displayed.end(), qsizetype(0));
        buildRows();
    }
    m_preparation.start([tracks, source](std::stop_token) { return prepared(tracks, source); },
                        [this](Prepared prepared, std::exception_ptr error) {
                            if (error) {
                                logError(lcUi(), QStringLiteral("Failed to prepare the track list: ")
                                                     + describeException(error));
                                m_requestedTracks.clear(); // the next library tries again
                            } else {
                                show(std::move(prepared));
                            }
                        });
}

TrackListIndex TrackListModel::indexOf(const QList<ScannedTrack>& tracks)
{
    return TrackListIndex(tracks, discTrackKey);
}

TrackListModel::Prepared TrackListModel::prepared(const QList<ScannedTrack>& tracks,
                                                  const std::optional<SidebarSource>& source)
{
    return Prepared{tracks, source, indexOf(tracks)};
}

void TrackListModel::show(Prepared prepared)
{
    const qsizetype freed = std::max(m_tracks.size(), prepared.tracks.size());
    m_tracks = std::move(prepared.tracks);
    m_source = std::move(prepared.source);
    m_index = std::move(prepared.index);
    m_indexPending = false;
    recomputeDisplayedTracks();
    // The list was the last holder of the library it replaced, and the
    // preparation's work is over.
    FreedMemory::releaseAfter(freed);
}

void TrackListModel::filterAndSortChanged(Change change)
{
    if (change == Change::filter)
        m_services.settings.setValue(searchTextKey, searchText());
    recomputeDisplayedTracks();
}

void TrackListModel::setSelection(const TrackSelection& selection)
{
    if (selection == m_selection)
        return;
    m_selection = selection;
    emit selectionChanged();
}

void TrackListModel::recomputeDisplayedTracks()
{
    // A filter or sort chosen before the keys are ready applies once they are.
    if (m_indexPending)
        return;
    m_displayed = filterAndSort().shownIn(m_index);
    buildRows();
}

void TrackListModel::buildRows()
{
    m_rowSource = std::make_shared<LibraryRowSource>(m_tracks, m_displayed, m_services.availability,
                                                     m_services.playContext.currentTrack());
    m_rows.reset();
    emit rowsChanged();
}

const TrackRows& TrackListModel::rows() const
{
    if (!m_rows) {
        m_rows.emplace();
        m_rows->reserve(m_rowSource->size());
        for (qsizetype position = 0; position < m_rowSource->size(); ++position)
            m_rows->append(m_rowSource->row(position));
    }
    return *m_rows;
}

void TrackListModel::playTrack(qsizetype index)
{
    const qsizetype position = m_displayed.indexOf(index);
    if (position < 0)
        return;
    qCDebug(lcUi, "Playing track: %s (position %ld in current view)", qUtf8Printable(m_tracks.at(index).ref().uri()),
            long(position));
    QList<TrackRef> refs;
    refs.reserve(m_displayed.size());
    for (const qsizetype shown : std::as_const(m_displayed))
        refs.append(m_tracks.at(shown).ref());
    m_services.musicLibrary.loadQueue(refs, position, queueOrder());
    m_services.playContext.execute(PlaybackCommand::play());
}

LibraryQueueOrderPtr TrackListModel::queueOrder() const
{
    // While the keys are prepared the list shows its tracks in their own order.
    const FilterAndSort shown = m_indexPending ? FilterAndSort() : filterAndSort();
    const bool part = m_source && m_source->kind() == SidebarSource::Kind::folder;
    if (shown.isStoredOrder() && !part)
        return nullptr;
    return std::make_shared<const LibraryListOrder>(m_source, shown);
}

QList<TrackContextMenuItem> TrackListModel::contextMenu(const TrackRows& rows)
{
    if (rows.isEmpty())
        return {};
    const qsizetype first = rows.first().index;
    return TrackListMenus::trackItems(
        m_services, m_revealer, rows, [this, first] { playTrack(first); }, true);
}

void TrackListModel::revealTrack(const TrackRef& ref)
{
    const auto shown = [this, &ref] {
        return std::any_of(m_displayed.cbegin(), m_displayed.cend(),
                           [&](qsizetype position) { return m_tracks.at(position).ref() == ref; });
    };
    if (!shown() && filterAndSort().isFiltered()
        && std::any_of(m_tracks.cbegin(), m_tracks.cend(), [&](const ScannedTrack& t) { return t.ref() == ref; })) {
        setSearchText(QString());
        emit searchTextChanged();
    }
    setSelection({TrackRowId(ref)});
}

} // namespace vessa
