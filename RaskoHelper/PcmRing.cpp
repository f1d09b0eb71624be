#include "RaskoHelper/PcmRing.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vessa {

namespace {

constexpr std::size_t ringBytes = std::size_t(PcmRing::slotCount) * std::size_t(PcmRing::slotBytes);

} // namespace

std::unique_ptr<PcmRing> PcmRing::map(int fd)
{
    void* memory = ::mmap(nullptr, ringBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PcmRing>(new PcmRing(fd, static_cast<char*>(memory)));
}

std::unique_ptr<PcmRing> PcmRing::create()
{
    const int created = ::memfd_create("vessa-pcm", MFD_CLOEXEC);
    if (created < 0)
        return nullptr;
    // Above the helper's descriptor number, so that moving it there in the
    // helper is never a no-op that would leave close-on-exec set.
    const int fd = ::fcntl(created, F_DUPFD_CLOEXEC, 10);
    ::close(created);
    if (fd < 0 || ::ftruncate(fd, off_t(ringBytes)) != 0) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    return map(fd);
}

PcmRing* PcmRing::inHelper()
{
    static const std::unique_ptr<PcmRing> ring = [] {
        struct stat status {};
        if (::fstat(helperFd, &status) != 0 || status.st_size < off_t(ringBytes))
            return std::unique_ptr<PcmRing>();
        return map(helperFd);
    }();
    return ring.get();
}

PcmRing::~PcmRing()
{
    ::munmap(m_memory, ringBytes);
    ::close(m_fd);
}

bool PcmRing::isValid(qint32 slot, qint32 bytes)
{
    return slot >= 0 && slot < slotCount && bytes > 0 && bytes <= slotBytes && bytes % 4 == 0;
}

} // namespace vessa
