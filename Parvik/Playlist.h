#pragma once

#include "Parvik/PlaylistTrack.h"

#include <QList>
#include <QString>

#include <optional>

namespace vessa {

// A named, ordered list of entries; the same track may occur any number of
// times. A plain value without identity or equality.
//
// Indices outside the documented ranges throw std::out_of_range before the
// list is changed.
struct Playlist {
    QString name;
    QList<PlaylistTrack> tracks;

    Playlist() = default;
    Playlist(QString name, QList<PlaylistTrack> tracks);
    // One entry without a hint per reference.
    Playlist(QString name, const QList<TrackRef>& refs);

    void append(const PlaylistTrack& track);
    void append(const TrackRef& ref);
    // 0 <= index <= count; index == count appends.
    void insert(const PlaylistTrack& track, qsizetype index);
    void insert(const TrackRef& ref, qsizetype index);
    // 0 <= index < count.
    PlaylistTrack remove(qsizetype index);
    // 0 <= source < count, 0 <= destination <= count. The destination is a
    // position in the list before the move (as a row drag reports it): the
    // entry lands in front of the entry now there, count meaning the end.
    void move(qsizetype source, qsizetype destination);
    // Whether some entry names this track, whatever its hint.
    bool contains(const TrackRef& ref) const;
    // Rewrites the hints for a copy of the playlist written to `toFilePath`
    // rather than `fromFilePath`, so each names the same file from there
    // (FileHint::rebase).
    void rebaseFileHints(const std::optional<QString>& fromFilePath, const std::optional<QString>& toFilePath);
};

} // namespace vessa
