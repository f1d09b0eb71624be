#include "Vessa/Views/MainWindow/DetailState.h"

#include "Parvik/PlaylistLibrary.h"
#include "Vessa/Views/Shared/PluralForm.h"

#include <QCoreApplication>

namespace vessa::DetailState {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(DetailState)
};

} // namespace

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
        return Text::tr("Scanning for music files...");
    return Text::tr("Scanning %1/%2 files...", nullptr, pluralFormCount(progress->total))
        .arg(progress->completed)
        .arg(progress->total);
}

QString emptyTitle()
{
    return Text::tr("No tracks loaded");
}

QString emptyHint()
{
    return Text::tr("Add a music folder with \"Add Folder\" in the sidebar, or press Ctrl+, to open Settings.");
}

QString playlistName(const SidebarSource& source)
{
    return source.kind() == SidebarSource::Kind::starred ? QString(PlaylistLibrary::starredName) : source.payload();
}

QString windowTitle(const std::optional<SidebarSource>& source)
{
    const QString app = Text::tr("Vessa");
    if (!source || !source->showsPlaylist())
        return app;
    return Text::tr("%1 \u2014 %2").arg(playlistName(*source), app);
}

} // namespace vessa::DetailState
