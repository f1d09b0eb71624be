#pragma once

#include "VessaCore/TrackRef.h"

#include <QSet>

#include <variant>

namespace vessa {

// The identity of a displayed row, kept by the selection and compared by the
// table's change detection. An owner picks one kind for all its rows: the
// library list uses the row's track, a playlist the entry's position.
class TrackRowId {
public:
    TrackRowId() = default;
    explicit TrackRowId(qint64 number) : m_value(number) {}
    explicit TrackRowId(TrackRef ref) : m_value(std::move(ref)) {}

    friend bool operator==(const TrackRowId& a, const TrackRowId& b) { return a.m_value == b.m_value; }
    friend size_t qHash(const TrackRowId& id, size_t seed = 0) noexcept { return id.hash(seed); }

private:
    size_t hash(size_t seed) const noexcept;

    std::variant<qint64, TrackRef> m_value;
};

using TrackSelection = QSet<TrackRowId>;

} // namespace vessa
