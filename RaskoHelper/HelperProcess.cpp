#include "RaskoHelper/HelperProcess.h"

#include "VessaCore/Logging.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcHelperProcess, "raskohelper", "process")

// The descriptor number the helper finds its socket at.
constexpr int helperSocketFd = 3;

// Wakes a wait through the eventfd while the stop token fires.
class StopWake {
public:
    StopWake(int fd, std::stop_token stop)
        : m_fd(fd), m_callback(std::move(stop), [fd] {
              const std::uint64_t one = 1;
              [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
          })
    {
    }
    ~StopWake()
    {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_fd, &value, sizeof value); // non-blocking: reset
    }

private:
    int m_fd;
    std::stop_callback<std::function<void()>> m_callback;
};

} // namespace

HelperProcess::HelperProcess(const QString& executable)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
        throw FailureError{Failure::crashed};
    // The helper's end moves to descriptor 3; duplicating it above that first
    // keeps dup2 from being a no-op that would leave close-on-exec set.
    const int childEnd = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    ::close(fds[1]);
    m_channel = std::make_unique<HelperChannel>(fds[0]);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_ring = PcmRing::create();

    int result = childEnd < 0 || m_wakeFd < 0 ? EMFILE : !m_ring ? ENOMEM : 0;
    if (result == 0) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, childEnd, helperSocketFd);
        posix_spawn_file_actions_adddup2(&actions, m_ring->fd(), PcmRing::helperFd);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // A group of its own, so that killing it reaches its worker too;
        // default signal handling and an empty signal mask whatever this
        // thread has.
        sigset_t noSignals, allSignals;
        sigemptyset(&noSignals);
        sigfillset(&allSignals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setsigmask(&attributes, &noSignals);
        posix_spawnattr_setsigdefault(&attributes, &allSignals);

        const QByteArray path = executable.toLocal8Bit();
        char* argv[] = {const_cast<char*>(path.constData()), nullptr};
        result = posix_spawn(&m_pid, path.constData(), &actions, &attributes, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    if (childEnd >= 0)
        ::close(childEnd);
    if (result != 0) {
        m_pid = -1;
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
        logWarning(lcHelperProcess(), QStringLiteral("Cannot start the decoder helper %1: %2")
                                          .arg(executable, QString::fromLocal8Bit(std::strerror(result))));
        throw FailureError{Failure::crashed};
    }
    m_usable = true;
}

HelperProcess::~HelperProcess()
{
    // An idle helper would end by itself once its socket closes; killing it
    // is as good and never waits.
    kill();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void HelperProcess::kill()
{
    m_usable = false;
    if (m_pid <= 0)
        return;
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
    while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    m_channel.reset();
}

void HelperProcess::fail(HelperChannel::Status status)
{
    kill();
    switch (status) {
    case HelperChannel::Status::woken: throw FailureError{Failure::stopped};
    case HelperChannel::Status::timedOut: throw FailureError{Failure::timedOut};
    default: throw FailureError{Failure::crashed};
    }
}

void HelperProcess::send(const HelperMessage& message, Clock::time_point deadline, std::stop_token stop)
{
    if (!m_usable)
        throw FailureError{Failure::crashed};
    if (stop.stop_requested())
        fail(HelperChannel::Status::woken);
    const StopWake wake(m_wakeFd, stop);
    if (const HelperChannel::Status status = m_channel->send(message, deadline, m_wakeFd);
        status != HelperChannel::Status::ok)
        fail(status);
}

HelperMessage HelperProcess::receive(Clock::time_point deadline, std::stop_token stop)
{
    if (!m_usable)
        throw FailureError{Failure::crashed};
    if (stop.stop_requested())
        fail(HelperChannel::Status::woken);
    HelperMessage message;
    {
        const StopWake wake(m_wakeFd, stop);
        if (const HelperChannel::Status status = m_channel->receive(message, deadline, m_wakeFd);
            status != HelperChannel::Status::ok)
            fail(status);
    }
    if (message.type == HelperMessageType::crashed) {
        // The worker is gone, and with it every reply it still owed.
        m_pendingReplies = 0;
        throw FailureError{Failure::crashed};
    }
    if (m_pendingReplies > 0)
        --m_pendingReplies;
    return message;
}

bool HelperProcess::drain(Clock::time_point deadline)
{
    try {
        while (m_usable && m_pendingReplies > 0)
            receive(deadline, {});
    } catch (const FailureError& error) {
        // A worker that died while its replies were dropped is no loss.
        if (error.failure != Failure::crashed || !m_usable)
            kill();
    }
    return m_usable;
}

} // namespace vessa
