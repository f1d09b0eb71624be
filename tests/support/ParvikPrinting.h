#pragma once

#include "Parvik/PlaylistTrack.h"

#include <QtTest>

namespace vessa {

// Lets QCOMPARE show playlist entries that differ: the URI, and a TAB and the hint when there is one.
inline char* toString(const PlaylistTrack& track)
{
    return QTest::toString(track.ref.uri() + (track.fileHint ? u'\t' + *track.fileHint : QString()));
}

} // namespace vessa
