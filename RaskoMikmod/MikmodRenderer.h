#pragma once

#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/OrderPositionHistory.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace vessa {

// Renders one loaded module from its start, block by block, as interleaved
// signed 16-bit stereo frames at 44.1 kHz. It starts its module on the first
// call and renders only while its module is the current one: once another
// module was started, this one ends, and it never stops or renders the
// other's module. Its own module is freed with the renderer.
class MikmodRenderer {
public:
    static constexpr int sampleRate = 44100;
    static constexpr qint64 bytesPerFrame = 4;
    // A module that has not ended after this long ends anyway.
    static constexpr qint64 maximumSeconds = 3600;

    explicit MikmodRenderer(MikmodModule module);

    // The most a block holds: the buffer driver's size.
    static constexpr qsizetype maximumBlockBytes = 32768;

    // The next block, or nothing once the song is over.
    std::optional<QByteArray> renderNext();
    // The same, written to `out` (room for maximumBlockBytes); its size in
    // bytes, 0 once the song is over.
    qsizetype renderInto(char* out);

    // Renders and drops `frames` frames, so that the next block starts where
    // playing from the start would be at that point (with every tempo and
    // speed command on the way applied). The rest of a block cut in the
    // middle comes out first. False when the song ended before that point.
    // Each second passed over adds a second to the worker's CPU budget.
    bool skip(qint64 frames);

private:
    MikmodModule m_module;
    OrderPositionHistory m_history;
    std::optional<QByteArray> m_carried; // the rest of the block skip() cut
    bool m_started = false;
    bool m_ending = false;
    qint64 m_framesRendered = 0;
};

} // namespace vessa
