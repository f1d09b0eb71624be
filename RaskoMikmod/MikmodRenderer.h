#pragma once

#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/OrderPositionHistory.h"

#include "VessaCore/AudioFormat.h"
#include "VessaCore/PCMBuffer.h"
#include "VessaCore/PcmBufferStream.h"

#include <QtGlobal>

#include <optional>

namespace vessa {

// Renders one loaded module, block by block, on the thread that pulls its
// stream. libmikmod plays one module at a time, and the streams of two tracks
// overlap at every track change, so a renderer starts its module only on the
// first pull and renders only while its module is the current one: once
// another stream has started its own, this one ends, and it never stops or
// renders the other's module. Its own module is freed when the stream ends or
// is dropped.
class MikmodRenderer {
public:
    // A module that has not ended after this long ends anyway.
    static constexpr qint64 maximumSeconds = 3600;

    MikmodRenderer(MikmodModule module, AudioFormat format, std::optional<quint16> startPosition);

    // The stream of a module, started at the beginning or at the given
    // order-list position.
    static PcmBufferStreamPtr makeBufferStream(MikmodModule module, AudioFormat format,
                                               std::optional<quint16> startPosition = std::nullopt);

    // The next block, or nothing once the song is over.
    std::optional<PCMBuffer> renderNext();

private:
    PCMBuffer convertLocked(const signed char* data, quint32 length) const;

    MikmodModule m_module;
    AudioFormat m_format;
    std::optional<quint16> m_startPosition;
    OrderPositionHistory m_history;
    bool m_started = false;
    bool m_ending = false;
    qint64 m_framesRendered = 0;
};

} // namespace vessa
