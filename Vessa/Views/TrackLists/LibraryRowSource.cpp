#include "Vessa/Views/TrackLists/LibraryRowSource.h"

#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/Views/TrackLists/TrackListModel.h"

namespace vessa {

LibraryRowSource::LibraryRowSource(QList<ScannedTrack> tracks, QList<qsizetype> positions,
                                   const TrackAvailabilityIndex& availability, std::optional<TrackRef> current)
    : m_tracks(std::move(tracks)),
      m_positions(std::move(positions)),
      m_availability(availability),
      m_current(std::move(current))
{
}

TrackRow LibraryRowSource::row(qsizetype position) const
{
    const qsizetype index = m_positions[position];
    const ScannedTrack& track = m_tracks.at(index);
    TrackRow row;
    row.id = TrackRowId(track.ref());
    row.ref = track.ref();
    row.index = index;
    row.title = track.title();
    row.artist = track.artist();
    row.album = track.album();
    row.duration = track.duration();
    row.trackNumberDisplay = TrackListModel::trackNumberDisplay(track);
    const TrackAvailability answer = m_availability.availability(track.ref());
    row.isPlaying = m_current && track.ref() == *m_current;
    row.isResolvable = answer == TrackAvailability::available;
    row.isDownloadable = answer == TrackAvailability::downloadable;
    row.userInfo = track.fileURL();
    return row;
}

TrackRowId LibraryRowSource::id(qsizetype position) const
{
    return TrackRowId(m_tracks.at(m_positions.at(position)).ref());
}

std::optional<TrackRowsChange> LibraryRowSource::changeFrom(const TrackRowSource& previous) const
{
    TrackRowsChange change;
    if (previous.size() != size())
        change.kind = TrackRowsChange::Kind::Reset;
    else if (size() > 0)
        change = {TrackRowsChange::Kind::Refresh, 0, size() - 1};
    return change;
}

} // namespace vessa
