// The decoder helper: hosts the chip-music and tracker-module libraries for
// the program, which talks to it over the socket at descriptor 3. Streams and
// every tracker-module operation run in a worker process forked for them,
// with fresh library state and a CPU budget of their own; when the worker
// dies or is killed for overrunning, the helper answers "crashed" and serves
// the next operation. Reading chip-music track information, one short call
// per file of a scan, runs in the helper itself under the same budget: a
// crash there ends the helper, and the program starts another.

#include "DecoderHelper/HelperRequests.h"
#include "RaskoHelper/HelperChannel.h"
#include "RaskoHelper/PcmRing.h"
#include "RaskoHelper/WorkerLimits.h"

#include <csignal>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vessa;

namespace {

constexpr int socketFd = 3;

bool startsOperation(HelperMessageType type)
{
    switch (type) {
    case HelperMessageType::gmeScan:
    case HelperMessageType::gmeExtract:
    case HelperMessageType::gmeOpen:
    case HelperMessageType::mikmodExtract:
    case HelperMessageType::mikmodOpen: return true;
    default: return false;
    }
}

// Chip-music information is read by libgme alone, which keeps no state
// between emulators: no fresh process is needed for it.
bool servedInPlace(HelperMessageType type)
{
    return type == HelperMessageType::gmeScan || type == HelperMessageType::gmeExtract;
}

[[noreturn]] void work(const HelperMessage& request, pid_t helper)
{
    // The worker dies with the helper (which the program kills to stop it).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != helper)
        _exit(1);
    WorkerLimits::startOperation();
    HelperChannel channel(socketFd);
    // A request the worker cannot serve: the helper reports it crashed.
    _exit(HelperRequests::serve(request, channel, PcmRing::inHelper()) ? 0 : 2);
}

} // namespace

int main()
{
    std::signal(SIGPIPE, SIG_IGN);
    WorkerLimits::apply();
    PcmRing::inHelper(); // mapped once: every worker inherits the mapping
    const pid_t helper = getpid();
    for (;;) {
        HelperMessage request;
        {
            HelperChannel channel(dup(socketFd));
            if (channel.receive(request) != HelperChannel::Status::ok)
                return 0; // the program closed the socket or went away
        }
        // A render or close left over from a worker that died is dropped.
        if (!startsOperation(request.type))
            continue;
        if (servedInPlace(request.type)) {
            WorkerLimits::startOperation();
            HelperChannel channel(dup(socketFd));
            // A request it cannot read ends the helper, as a crash would.
            if (!HelperRequests::serve(request, channel, nullptr))
                return 2;
            continue;
        }
        const pid_t worker = fork();
        if (worker == 0)
            work(request, helper);
        int status = 0;
        bool finished = worker > 0;
        while (finished && waitpid(worker, &status, 0) < 0) {
            if (errno != EINTR)
                finished = false;
        }
        if (!finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            HelperChannel channel(dup(socketFd));
            if (channel.send(HelperMessage{HelperMessageType::crashed, {}}) != HelperChannel::Status::ok)
                return 0;
        }
    }
}
