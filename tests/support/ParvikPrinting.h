#pragma once

#include "Parvik/PlaylistTrack.h"

#include <QtTest>

namespace vessa {

// Lets QCOMPARE show playlist entries that differ.
inline char* toString(const PlaylistTrack& track)
{
    const QString hint = track.fileHint ? QStringLiteral("\"%1\"").arg(*track.fileHint) : QStringLiteral("none");
    return QTest::toString(QStringLiteral("PlaylistTrack(\"%1\", %2)").arg(track.ref.uri(), hint));
}

} // namespace vessa
