#pragma once

#include "Rasko/ScannedTrack.h"
#include "VessaCore/TrackRef.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace vessa {

// Finds the library's tracks by reference without another copy of the
// references: an open-addressing table of positions into the library's list
// (shared with it) holds the first track of each reference, and a flag per
// reference says whether any of its tracks can be played. About ten bytes per
// track, where a hash of references to paths took some hundreds.
//
// Immutable once built; may be built on any thread and read on any thread.
class LibraryRefIndex {
public:
    LibraryRefIndex() = default;
    // `playable(i)`: whether track i of `tracks` can be played.
    LibraryRefIndex(QList<ScannedTrack> tracks, const std::function<bool(qsizetype)>& playable);

    const QList<ScannedTrack>& tracks() const { return m_tracks; }
    // The position of the first track with the reference.
    std::optional<qsizetype> firstPosition(const TrackRef& ref) const;
    // The file of the first track with the reference, when there is one.
    std::optional<QString> firstFile(const TrackRef& ref) const;
    // Whether a track with the reference can be played.
    bool isPlayable(const TrackRef& ref) const;
    // The same list with the same tracks playable (found without comparing references).
    bool sameAs(const LibraryRefIndex& other) const;

private:
    // The slot holding the reference, or the empty slot where it would go.
    size_t slotOf(const TrackRef& ref) const;

    QList<ScannedTrack> m_tracks;
    // Position + 1 of each reference's first track; 0 marks an empty slot.
    std::vector<quint32> m_slots;
    // By slot: whether any track of that reference can be played.
    std::vector<bool> m_playable;
};

} // namespace vessa
