#pragma once

#include "VessaCore/TrackRef.h"

#include <QSet>

namespace vessa {

// The identity of a displayed row, kept by the selection and compared by the
// table's change detection. An owner picks one kind for all its rows: the
// library list uses the row's track, a playlist the entry's position.
class TrackRowId {
public:
    TrackRowId() = default;
    explicit TrackRowId(qint64 number) : m_number(number) {}
    explicit TrackRowId(TrackRef ref) : m_kind(Kind::Track), m_ref(std::move(ref)) {}

    friend bool operator==(const TrackRowId& a, const TrackRowId& b)
    {
        return a.m_kind == b.m_kind && a.m_number == b.m_number && a.m_ref == b.m_ref;
    }
    friend size_t qHash(const TrackRowId& id, size_t seed = 0) noexcept
    {
        return qHashMulti(seed, int(id.m_kind), id.m_number, id.m_ref.uri());
    }

private:
    enum class Kind { Number, Track };

    Kind m_kind = Kind::Number;
    qint64 m_number = 0;
    TrackRef m_ref;
};

using TrackSelection = QSet<TrackRowId>;

} // namespace vessa
