#pragma once

#include "Vessa/Views/TrackTable/TrackRow.h"
#include "Vessa/Views/TrackTable/TrackRowsChange.h"

#include <memory>
#include <optional>

namespace vessa {

// The rows of a track table, made one at a time when the table asks for them
// (to paint a row, or to act on it), so that a long list need not hold a row
// object per track. A source given to the table is never changed: the owner
// hands over a new one, and the table compares the two.
class TrackRowSource {
public:
    virtual ~TrackRowSource() = default;

    virtual qsizetype size() const = 0;
    // 0 <= position < size().
    virtual TrackRow row(qsizetype position) const = 0;
    virtual TrackRowId id(qsizetype position) const { return row(position).id; }
    // What the table redraws when this source replaces `previous`; none when
    // the rows are to be compared one by one.
    virtual std::optional<TrackRowsChange> changeFrom(const TrackRowSource& previous) const
    {
        (void)previous;
        return std::nullopt;
    }
};

using TrackRowSourcePtr = std::shared_ptr<const TrackRowSource>;

// A source over rows made up front (the playlists' rows, which are few).
class TrackRowList : public TrackRowSource {
public:
    explicit TrackRowList(TrackRows rows) : m_rows(std::move(rows)) {}

    const TrackRows& rows() const { return m_rows; }
    qsizetype size() const override { return m_rows.size(); }
    TrackRow row(qsizetype position) const override { return m_rows[position]; }
    TrackRowId id(qsizetype position) const override { return m_rows[position].id; }
    std::optional<TrackRowsChange> changeFrom(const TrackRowSource& previous) const override
    {
        if (const auto* list = dynamic_cast<const TrackRowList*>(&previous))
            return TrackRowsChange::between(list->m_rows, m_rows);
        return std::nullopt;
    }

private:
    TrackRows m_rows;
};

} // namespace vessa
