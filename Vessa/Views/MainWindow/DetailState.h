#pragma once

#include "Vessa/App/Library/LibraryScanProgress.h"
#include "Vessa/Views/TrackLists/SidebarSource.h"

#include <QString>

#include <optional>

namespace vessa {

// What the main window's detail pane shows above the now-playing bar.
namespace DetailState {

enum class Page {
    playlist, // Starred or a user playlist
    scanning, // the first scan of an empty library runs
    library,  // the library list (also while a rescan runs)
    empty,    // no tracks and no scan
};

Page pageFor(const std::optional<SidebarSource>& source, bool isScanning, bool libraryIsEmpty);

// "Scanning 3/10 files..." while progress is known, else "Scanning for music files...".
QString scanningText(const std::optional<LibraryScanProgress>& progress);

QString emptyTitle();
QString emptyHint();

// The library playlist a Starred or playlist source shows.
QString playlistName(const SidebarSource& source);

// The main window's title: "Mix — Vessa" while a playlist is shown, else "Vessa".
QString windowTitle(const std::optional<SidebarSource>& source);

} // namespace DetailState

} // namespace vessa
