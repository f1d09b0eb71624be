#include "Vessa/Views/DetailState.h"

#include "Parvik/PlaylistLibrary.h"

namespace vessa::DetailState {

Page pageFor(const std::optional<SidebarSource>& source, bool isScanning, bool libraryIsEmpty)
{
    if (source && source->showsPlaylist())
        return Page::playlist;
    if (isScanning && libraryIsEmpty)
        return Page::scanning;
    return libraryIsEmpty ? Page::empty : Page::library;
}

QString scanningText(const std::optional<LibraryScanProgress>& progress)
{
    if (!progress)
        return QStringLiteral("Scanning for music files...");
    return QStringLiteral("Scanning %1/%2 files...").arg(progress->completed).arg(progress->total);
}

QString emptyTitle()
{
    return QStringLiteral("No tracks loaded");
}

QString emptyHint()
{
    return QStringLiteral("Add a music folder with \"Add Folder\" in the sidebar, or press Ctrl+, to open Settings.");
}

QString playlistName(const SidebarSource& source)
{
    return source.kind() == SidebarSource::Kind::starred ? QString(PlaylistLibrary::starredName) : source.payload();
}

QString windowTitle(const std::optional<SidebarSource>& source)
{
    const QString app = QStringLiteral("Vessa");
    if (!source || !source->showsPlaylist())
        return app;
    return playlistName(*source) + QStringLiteral(" \u2014 ") + app;
}

} // namespace vessa::DetailState
