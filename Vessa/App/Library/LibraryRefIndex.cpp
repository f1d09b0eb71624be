#include "Vessa/App/Library/LibraryRefIndex.h"

#include <QHashFunctions>

namespace vessa {

LibraryRefIndex::LibraryRefIndex(QList<ScannedTrack> tracks, const std::function<bool(qsizetype)>& playable)
    : m_tracks(std::move(tracks))
{
    // At most half full, so that a search stops within a few slots.
    size_t capacity = 16;
    while (capacity < size_t(m_tracks.size()) * 2)
        capacity *= 2;
    m_slots.assign(capacity, 0);
    m_playable.assign(capacity, false);
    for (qsizetype i = 0; i < m_tracks.size(); ++i) {
        const size_t slot = slotOf(m_tracks.at(i).ref());
        if (m_slots[slot] == 0)
            m_slots[slot] = quint32(i + 1);
        if (!m_playable[slot] && playable(i))
            m_playable[slot] = true;
    }
}

size_t LibraryRefIndex::slotOf(const TrackRef& ref) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = qHash(ref) & mask;; slot = (slot + 1) & mask) {
        const quint32 held = m_slots[slot];
        if (held == 0 || m_tracks.at(held - 1).ref() == ref)
            return slot;
    }
}

std::optional<qsizetype> LibraryRefIndex::firstPosition(const TrackRef& ref) const
{
    if (m_slots.empty())
        return std::nullopt;
    const quint32 held = m_slots[slotOf(ref)];
    return held == 0 ? std::nullopt : std::optional<qsizetype>(held - 1);
}

std::optional<QString> LibraryRefIndex::firstFile(const TrackRef& ref) const
{
    const std::optional<qsizetype> position = firstPosition(ref);
    return position ? std::optional<QString>(m_tracks.at(*position).fileURL()) : std::nullopt;
}

bool LibraryRefIndex::isPlayable(const TrackRef& ref) const
{
    return !m_slots.empty() && m_playable[slotOf(ref)];
}

bool LibraryRefIndex::sameAs(const LibraryRefIndex& other) const
{
    const bool sameList = m_tracks.isSharedWith(other.m_tracks) || (m_tracks.isEmpty() && other.m_tracks.isEmpty());
    return sameList && m_playable == other.m_playable;
}

} // namespace vessa
