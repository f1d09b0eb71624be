#include "RaskoMikmod/MikmodRenderer.h"

#include "RaskoHelper/WorkerLimits.h"
#include "RaskoMikmod/mikmod_buffer_driver.h"

#include <mikmod.h>

#include <cstring>

namespace vessa {

namespace {

// The buffer driver renders straight into the caller's memory while this lives.
class DriverTarget {
public:
    explicit DriverTarget(char* out) { mikmod_buffer_set_target(reinterpret_cast<signed char*>(out)); }
    ~DriverTarget() { mikmod_buffer_set_target(nullptr); }
    DriverTarget(const DriverTarget&) = delete;
    DriverTarget& operator=(const DriverTarget&) = delete;
};

} // namespace

MikmodRenderer::MikmodRenderer(MikmodModule module)
    : m_module(std::move(module)), m_history(m_module ? m_module.get()->numpos : 0)
{
}

std::optional<QByteArray> MikmodRenderer::renderNext()
{
    QByteArray block(maximumBlockBytes, Qt::Uninitialized);
    const qsizetype size = renderInto(block.data());
    if (size == 0)
        return std::nullopt;
    block.resize(size);
    return block;
}

qsizetype MikmodRenderer::renderInto(char* out)
{
    if (m_carried) {
        const QByteArray carried = *std::exchange(m_carried, std::nullopt);
        std::memcpy(out, carried.constData(), std::size_t(carried.size()));
        return carried.size();
    }
    if (m_ending || !m_module)
        return 0;
    MODULE* own = m_module.get();

    std::unique_lock guard(MikmodLibrary::lock());
    if (!m_started) {
        m_started = true;
        // Another module may have been loaded since this one and left the
        // mixer with a different number of voices.
        if (own->numvoices > 0 && MikMod_SetNumVoices(own->numvoices, -1) != 0)
            return 0;
        Player_Start(own);
    }
    if (Player_GetModule() != own || !Player_Active())
        return 0;

    mikmod_buffer_reset_length();
    {
        const DriverTarget target(out);
        MikmodLibrary::updateLocked(own, m_history);
    }
    const qsizetype length = std::min<qsizetype>(mikmod_buffer_get_length(), maximumBlockBytes);
    guard.unlock();
    if (length == 0)
        return 0;
    const qsizetype size = length - length % bytesPerFrame;

    m_framesRendered += size / bytesPerFrame;
    if (m_history.reenteredPosition() || m_framesRendered >= maximumSeconds * sampleRate)
        m_ending = true;
    return size;
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
