#include "RaskoMikmod/MikmodRenderer.h"

#include "RaskoHelper/WorkerLimits.h"
#include "RaskoMikmod/mikmod_buffer_driver.h"

#include <mikmod.h>

namespace vessa {

MikmodRenderer::MikmodRenderer(MikmodModule module)
    : m_module(std::move(module)), m_history(m_module ? m_module.get()->numpos : 0)
{
}

std::optional<QByteArray> MikmodRenderer::renderNext()
{
    if (m_carried)
        return std::exchange(m_carried, std::nullopt);
    if (m_ending || !m_module)
        return std::nullopt;
    MODULE* own = m_module.get();

    std::unique_lock guard(MikmodLibrary::lock());
    if (!m_started) {
        m_started = true;
        // Another module may have been loaded since this one and left the
        // mixer with a different number of voices.
        if (own->numvoices > 0 && MikMod_SetNumVoices(own->numvoices, -1) != 0)
            return std::nullopt;
        Player_Start(own);
    }
    if (Player_GetModule() != own || !Player_Active())
        return std::nullopt;

    mikmod_buffer_reset_length();
    MikmodLibrary::updateLocked(own, m_history);
    const signed char* data = mikmod_buffer_get_data();
    const quint32 length = mikmod_buffer_get_length();
    if (!data || length == 0)
        return std::nullopt;
    // Copied before the lock goes: the next update overwrites the block.
    QByteArray block(reinterpret_cast<const char*>(data), qsizetype(length - length % bytesPerFrame));
    guard.unlock();

    m_framesRendered += block.size() / bytesPerFrame;
    if (m_history.reenteredPosition() || m_framesRendered >= maximumSeconds * sampleRate)
        m_ending = true;
    return block;
}

bool MikmodRenderer::skip(qint64 frames)
{
    const double startCpu = WorkerLimits::cpuSecondsUsed();
    qint64 skipped = 0;
    while (frames > 0) {
        WorkerLimits::allowRealTime(startCpu, double(skipped) / sampleRate);
        std::optional<QByteArray> block = renderNext();
        if (!block)
            return false;
        const qint64 blockFrames = block->size() / bytesPerFrame;
        if (blockFrames > frames) {
            m_carried = block->mid(frames * bytesPerFrame);
            return true;
        }
        frames -= blockFrames;
        skipped += blockFrames;
    }
    return true;
}

} // namespace vessa
