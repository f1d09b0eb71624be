#pragma once

#include "RaskoCoreAudio/FFmpegHandles.h"

#include <QByteArray>

#include <cstdint>

namespace vessa {

// An FFmpeg I/O context that reads a file's complete bytes from memory (the
// members of ZIP archives). Reads and seeks within the bytes; answers the size
// query. Must outlive the format context that reads through it. One reader at
// a time (it belongs to one format context).
class MemoryIOContext {
public:
    // Throws std::bad_alloc when FFmpeg cannot allocate the context.
    explicit MemoryIOContext(QByteArray bytes);

    MemoryIOContext(const MemoryIOContext&) = delete;
    MemoryIOContext& operator=(const MemoryIOContext&) = delete;

    AVIOContext* context() const { return m_context.get(); }

private:
    static int read(void* opaque, uint8_t* buffer, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    QByteArray m_bytes;
    qint64 m_position = 0;
    IOContextPtr m_context;
};

} // namespace vessa
