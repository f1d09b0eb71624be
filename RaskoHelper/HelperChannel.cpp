#include "RaskoHelper/HelperChannel.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessa {

namespace {

struct PacketHeader {
    std::uint32_t type;
    std::uint32_t more; // 1: another packet of the same message follows
};

constexpr int headerSize = sizeof(PacketHeader);

} // namespace

HelperChannel::HelperChannel(int fd) : m_fd(fd)
{
    const int flags = fcntl(m_fd, F_GETFL);
    if (flags >= 0)
        fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
}

HelperChannel::~HelperChannel()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

HelperChannel::Status HelperChannel::waitFor(short events, std::optional<Clock::time_point> deadline, int wakeFd)
{
    for (;;) {
        int timeout = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0)
                return Status::timedOut;
            timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        pollfd fds[2] = {{m_fd, events, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, wakeFd >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Status::closed;
        if (wakeFd >= 0 && (fds[1].revents & POLLIN))
            return Status::woken;
        if (fds[0].revents != 0)
            return Status::ok; // readable, writable, or hung up: the call that follows tells
    }
}

HelperChannel::Status HelperChannel::send(const HelperMessage& message, std::optional<Clock::time_point> deadline,
                                          int wakeFd)
{
    qsizetype offset = 0;
    do {
        const qsizetype size = std::min<qsizetype>(message.payload.size() - offset, maxPacketPayload);
        const PacketHeader header{static_cast<std::uint32_t>(message.type),
                                  offset + size < message.payload.size() ? 1u : 0u};
        iovec parts[2] = {{const_cast<PacketHeader*>(&header), headerSize},
                          {const_cast<char*>(message.payload.constData() + offset), static_cast<size_t>(size)}};
        msghdr packet{};
        packet.msg_iov = parts;
        packet.msg_iovlen = 2;
        for (;;) {
            const ssize_t sent = ::sendmsg(m_fd, &packet, MSG_NOSIGNAL);
            if (sent >= 0)
                break;
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return Status::closed;
            if (const Status status = waitFor(POLLOUT, deadline, wakeFd); status != Status::ok)
                return status;
        }
        offset += size;
    } while (offset < message.payload.size());
    return Status::ok;
}

HelperChannel::Status HelperChannel::receive(HelperMessage& message, std::optional<Clock::time_point> deadline,
                                             int wakeFd)
{
    message = HelperMessage();
    bool continuing = false;
    for (;;) {
        // The payload lands in its own buffer: a one-packet message (every
        // chunk of PCM) is not copied again.
        PacketHeader header{};
        QByteArray packet(maxPacketPayload, Qt::Uninitialized);
        iovec parts[2] = {{&header, headerSize}, {packet.data(), static_cast<size_t>(packet.size())}};
        msghdr received{};
        received.msg_iov = parts;
        received.msg_iovlen = 2;
        const ssize_t got = ::recvmsg(m_fd, &received, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const Status status = waitFor(POLLIN, deadline, wakeFd); status != Status::ok)
                return status;
            continue;
        }
        if (got < headerSize || (received.msg_flags & MSG_TRUNC))
            return Status::closed; // end of file, an error or a packet that is not ours
        packet.resize(got - headerSize);
        const auto type = static_cast<HelperMessageType>(header.type);
        if (continuing && type != message.type) {
            // The sender died in the middle of a message: what follows is a new one.
            message = HelperMessage();
        }
        message.type = type;
        if (message.payload.isEmpty())
            message.payload = std::move(packet);
        else
            message.payload.append(packet);
        if (header.more == 0)
            return Status::ok;
        continuing = true;
    }
}

} // namespace vessa
