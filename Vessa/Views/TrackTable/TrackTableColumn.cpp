#include "Vessa/Views/TrackTable/TrackTableColumn.h"

#include <QCoreApplication>

#include <algorithm>

namespace vessa {

int TrackTableColumn::clampedWidth(int proposed) const
{
    int clamped = std::max(proposed, minimumWidth);
    if (maximumWidth)
        clamped = std::min(clamped, *maximumWidth);
    return clamped;
}

QList<TrackTableColumn> TrackTableColumn::columns(bool withTrackNumber)
{
    using K = Kind;
    QList<TrackTableColumn> result;
    result.append({K::Playing, QStringLiteral("playing"), QString(), QStringLiteral("index"), 28, 24, 36});
    if (withTrackNumber) {
        result.append({K::TrackNumber, QStringLiteral("trackNumber"), QCoreApplication::translate("TrackTable", "#"),
                       QStringLiteral("trackNumber"), 40, 30, 60});
    }
    result.append({K::Title, QStringLiteral("title"), QCoreApplication::translate("TrackTable", "Title"),
                   QStringLiteral("title"), std::nullopt, 60, std::nullopt});
    result.append({K::Artist, QStringLiteral("artist"), QCoreApplication::translate("TrackTable", "Artist"),
                   QStringLiteral("artist"), std::nullopt, 60, std::nullopt});
    result.append({K::Album, QStringLiteral("album"), QCoreApplication::translate("TrackTable", "Album"),
                   QStringLiteral("album"), std::nullopt, 60, std::nullopt});
    result.append({K::Time, QStringLiteral("time"), QCoreApplication::translate("TrackTable", "Time"),
                   QStringLiteral("time"), 50, 40, 70});
    return result;
}

} // namespace vessa
