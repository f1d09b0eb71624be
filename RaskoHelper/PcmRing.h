#pragma once

#include <QtGlobal>

#include <memory>

namespace vessa {

// Memory shared between the program and one decoder helper, through which a
// stream's PCM travels: the worker renders each batch straight into a slot
// and its "pcm" reply only names the slot, so the audio crosses no socket.
// The program makes the ring before it starts the helper, which finds it at
// descriptor `helperFd`; the helper's workers inherit the mapping.
//
// Slots are used in turn. A stream never has more than slotCount - 1 batches
// asked for beyond the one it reads, so the worker never writes the slot
// being read. The program reads what a worker wrote only through the slot
// index and size of a reply it checked, so a worker gone wrong can spoil the
// sound of its own stream but never reach outside the ring.
class PcmRing {
public:
    static constexpr int slotCount = 5;
    static constexpr qsizetype slotBytes = 288 * 1024;
    static constexpr int helperFd = 4;

    // A new ring for a helper about to start; null when the system has no
    // memory for it.
    static std::unique_ptr<PcmRing> create();
    // In the helper: the ring at helperFd, mapped on first use; null when the
    // program passed none.
    static PcmRing* inHelper();

    ~PcmRing();
    PcmRing(const PcmRing&) = delete;
    PcmRing& operator=(const PcmRing&) = delete;

    int fd() const { return m_fd; }
    char* slot(int index) const { return m_memory + qsizetype(index) * slotBytes; }

    // A reply's slot and size describe PCM inside the ring: whole frames of
    // 16-bit stereo within one slot.
    static bool isValid(qint32 slot, qint32 bytes);

private:
    PcmRing(int fd, char* memory) : m_fd(fd), m_memory(memory) {}
    static std::unique_ptr<PcmRing> map(int fd);

    int m_fd;
    char* m_memory;
};

} // namespace vessa
