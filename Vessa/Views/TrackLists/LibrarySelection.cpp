#include "Vessa/Views/TrackLists/LibrarySelection.h"

#include <algorithm>

namespace vessa::LibrarySelection {

bool isInFolder(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    if (folder.endsWith(u'/'))
        return path.startsWith(folder);
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == u'/');
}

QList<ScannedTrack> tracksFor(const std::optional<SidebarSource>& source, const QList<ScannedTrack>& tracks)
{
    if (!source || source->kind() == SidebarSource::Kind::localFiles)
        return tracks;
    if (source->kind() != SidebarSource::Kind::folder)
        return {};
    QList<ScannedTrack> result;
    for (const ScannedTrack& track : tracks) {
        if (isInFolder(track.fileURL(), source->payload()))
            result.append(track);
    }
    return result;
}

std::optional<SidebarSource> afterReveal(const std::optional<SidebarSource>& source, const QList<ScannedTrack>& tracks,
                                         const TrackRef& ref)
{
    const QList<ScannedTrack> listed = tracksFor(source, tracks);
    const bool listsIt = std::any_of(listed.cbegin(), listed.cend(),
                                     [&](const ScannedTrack& track) { return track.ref().uri() == ref.uri(); });
    return listsIt ? source : std::optional<SidebarSource>(SidebarSource::localFiles());
}

} // namespace vessa::LibrarySelection
