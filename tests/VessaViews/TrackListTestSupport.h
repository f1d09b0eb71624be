#pragma once

// Shared by the track list tests: an app state of its own, made-up library
// tracks, a file revealer that records, and the titles of a context menu.

#include "Parvik/PlaylistLibrary.h"
#include "Rasko/ScannedTrack.h"
#include "Vessa/Views/TrackLists/FileRevealer.h"
#include "Vessa/Views/TrackTable/TrackContextMenuItem.h"
#include "tests/VessaApp/AppStateRig.h"

#include <QStringList>

namespace vessa::test {

// A started app state whose playlist library has been loaded (it loads once
// the event loop runs); null when it could not start.
inline std::unique_ptr<AppState> startedState(const AppStateRig& rig)
{
    std::unique_ptr<AppState> state = rig.start();
    if (state
        && !QTest::qWaitFor([&] { return state->playlistLibrary().playlist(QStringLiteral("Starred")).has_value(); }))
        state.reset();
    return state;
}

// Records what it is asked to show; fails with `failure` when one is set.
struct RecordingRevealer : FileRevealer {
    QList<QStringList> calls;
    std::exception_ptr failure;
    void reveal(const QStringList& paths, FailureHandler onFailure) override
    {
        calls.append(paths);
        if (failure)
            onFailure(failure);
    }
};

inline ScannedTrack scannedTrack(const QString& title, const QString& artist = QStringLiteral("Artist"),
                                 const QString& album = QStringLiteral("Album"), qint64 number = 1)
{
    return ScannedTrack(TrackRef(artist, album, title, 180), title, artist, album, 180.0, number, std::nullopt,
                        QStringLiteral("/music/") + title + QStringLiteral(".flac"));
}

// Menu titles as menuTitles() gives them, written as one text: "Play, -, Add to Playlist>, Mix, <".
inline QStringList titleList(const char* commaSeparated)
{
    return QString::fromUtf8(commaSeparated).split(QStringLiteral(", "));
}

// Titles in order; a divider reads "-", a submenu "title>" followed by its entries and "<".
inline QStringList menuTitles(const QList<TrackContextMenuItem>& items)
{
    QStringList titles;
    for (const TrackContextMenuItem& item : items) {
        switch (item.kind()) {
        case TrackContextMenuItem::Kind::Divider: titles.append(QStringLiteral("-")); break;
        case TrackContextMenuItem::Kind::Button: titles.append(item.title()); break;
        case TrackContextMenuItem::Kind::Submenu:
            titles.append(item.title() + QLatin1Char('>'));
            titles += menuTitles(item.items());
            titles.append(QStringLiteral("<"));
            break;
        }
    }
    return titles;
}

inline const TrackContextMenuItem* menuItem(const QList<TrackContextMenuItem>& items, const QString& title)
{
    for (const TrackContextMenuItem& item : items) {
        if (item.title() == title)
            return &item;
        if (const TrackContextMenuItem* inner = menuItem(item.items(), title))
            return inner;
    }
    return nullptr;
}

} // namespace vessa::test
