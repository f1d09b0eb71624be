#pragma once

#include "Rasko/ScannedTrack.h"
#include "Vessa/Views/TrackTable/TrackRowSource.h"

#include <optional>

namespace vessa {

class TrackAvailabilityIndex;

// The library list's rows, made from its tracks when the table asks for one:
// the tracks at `positions`, in that order, each with its playing mark (the
// `current` track) and its availability as the index answers when the row is
// made. Ids are the tracks' references; a row's `index` is its position in
// `tracks` and its userInfo the track's file.
class LibraryRowSource : public TrackRowSource {
public:
    // `availability` outlives the source.
    LibraryRowSource(QList<ScannedTrack> tracks, QList<qsizetype> positions, const TrackAvailabilityIndex& availability,
                     std::optional<TrackRef> current);

    qsizetype size() const override { return m_positions.size(); }
    TrackRow row(qsizetype position) const override;
    TrackRowId id(qsizetype position) const override;
    // Every row is redrawn: the order or the marks may be new.
    std::optional<TrackRowsChange> changeFrom(const TrackRowSource& previous) const override;

private:
    QList<ScannedTrack> m_tracks;
    QList<qsizetype> m_positions;
    const TrackAvailabilityIndex& m_availability;
    std::optional<TrackRef> m_current;
};

} // namespace vessa
