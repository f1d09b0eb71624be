#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace vessa {

// One column of the track table: what it shows, its header, its sort key and
// its width limits (in device-independent pixels).
struct TrackTableColumn {
    enum class Kind { Playing, TrackNumber, Title, Artist, Album, Time };

    Kind kind;
    QString identifier;
    QString title;
    QString sortKey;
    std::optional<int> width; // none: shares the free width with the other flexible columns
    int minimumWidth;
    std::optional<int> maximumWidth;

    // Title, Artist and Album grow and shrink with the table.
    bool isFlexible() const { return !width.has_value(); }
    int clampedWidth(int proposed) const;

    // The columns left to right: the playing mark, "#" when asked for,
    // Title, Artist, Album and Time.
    static QList<TrackTableColumn> columns(bool withTrackNumber);
};

} // namespace vessa
