#include "RaskoCoreAudio/MemoryIOContext.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <new>

namespace vessa {

namespace {
constexpr int ioBufferSize = 64 * 1024;
}

MemoryIOContext::MemoryIOContext(QByteArray bytes) : m_bytes(std::move(bytes))
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
    if (!buffer)
        throw std::bad_alloc();
    AVIOContext* context =
        avio_alloc_context(buffer, ioBufferSize, 0, this, &MemoryIOContext::read, nullptr, &MemoryIOContext::seek);
    if (!context) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    m_context.reset(context);
}

int MemoryIOContext::read(void* opaque, uint8_t* buffer, int size)
{
    auto* self = static_cast<MemoryIOContext*>(opaque);
    const qint64 available = self->m_bytes.size() - self->m_position;
    if (available <= 0 || size <= 0)
        return AVERROR_EOF;
    const int count = static_cast<int>(std::min<qint64>(available, size));
    std::memcpy(buffer, self->m_bytes.constData() + self->m_position, static_cast<size_t>(count));
    self->m_position += count;
    return count;
}

int64_t MemoryIOContext::seek(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<MemoryIOContext*>(opaque);
    const qint64 size = self->m_bytes.size();
    qint64 base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: break;
    case SEEK_CUR: base = self->m_position; break;
    case SEEK_END: base = size; break;
    default: return AVERROR(EINVAL);
    }
    qint64 target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0 || target > size)
        return AVERROR(EINVAL);
    self->m_position = target;
    return target;
}

} // namespace vessa
