// The decoder helper's own code in this process, where the sanitizers see it:
// a request made from the input is served by the helper's request handling
// (the chip-music and tracker hosts and the stream server) on one end of a
// socket pair, as a worker serves it. On the other end a thread plays the
// program: it sends the render requests and the close that follow the
// request, then reads every reply, and the replies must be what the program
// expects.

#include "DecoderHelper/HelperRequests.h"
#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoHelper/PcmRing.h"
#include "fuzz/HelperFuzzing.h"

#include <csignal>
#include <thread>
#include <vector>

#include <sys/socket.h>

using namespace vessa;

namespace {

// The program's side: the messages that follow the request, then every reply
// until the helper's end is closed.
std::vector<HelperMessage> playProgram(HelperChannel& program, const fuzz::HelperFuzzOptions& options)
{
    for (int i = 0; i < options.renderRequests; ++i)
        program.send(HelperMessage{HelperMessageType::render, helperPayload(qint32(options.batchesPerRequest))});
    if (options.closes)
        program.send(HelperMessage{HelperMessageType::close, {}});
    ::shutdown(program.fd(), SHUT_WR);
    std::vector<HelperMessage> replies;
    HelperMessage reply;
    while (program.receive(reply) == HelperChannel::Status::ok)
        replies.push_back(reply);
    return replies;
}

HelperMessageType answerTo(HelperMessageType request)
{
    switch (request) {
    case HelperMessageType::gmeScan: return HelperMessageType::trackInfos;
    case HelperMessageType::gmeExtract: return HelperMessageType::trackInfo;
    case HelperMessageType::mikmodExtract: return HelperMessageType::moduleInfo;
    default: return HelperMessageType::started;
    }
}

// After "started", every batch asked for is answered once: with PCM in the
// ring's next slot, or "ended", after which no PCM comes.
void checkStream(const std::vector<HelperMessage>& replies, int batches)
{
    fuzz::check(qsizetype(replies.size()) == batches + 1, "a stream answers every batch asked for once");
    qint64 sequence = 0;
    bool ended = false;
    for (std::size_t i = 1; i < replies.size(); ++i) {
        if (replies[i].type == HelperMessageType::ended) {
            ended = true;
            continue;
        }
        qint32 slot = -1, bytes = 0;
        fuzz::check(replies[i].type == HelperMessageType::pcm && !ended
                        && readHelperPayload(replies[i].payload, slot, bytes) && PcmRing::isValid(slot, bytes)
                        && slot == sequence++ % PcmRing::slotCount,
                    "a batch is whole frames in the ring's next slot, and none follows the end");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The CPU budgets that rendering and seeking set would apply to the whole
    // fuzzer here: its own -timeout stands in for them.
    static const bool budgetsIgnored = std::signal(SIGXCPU, SIG_IGN) != SIG_ERR;
    static const std::unique_ptr<PcmRing> ring = PcmRing::create();
    static const QSet<QString> chipExtensions = GMEDecoderPlugin().supportedExtensions();
    fuzz::check(budgetsIgnored && ring, "the fuzzer can ignore CPU budgets and has a ring");

    fuzz::FuzzInput input(data, size);
    const fuzz::HelperFuzzOptions options = fuzz::HelperFuzzOptions::take(input);
    HelperMessage request{options.operation, {}};
    if (options.rawPayload) {
        request.payload = input.rest();
    } else {
        const fuzz::DecoderFuzzOptions file = fuzz::DecoderFuzzOptions::take(input, chipExtensions);
        request.payload = fuzz::requestPayload(options.operation, file, input.rest());
    }

    int ends[2];
    fuzz::check(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0, "a socket pair can be made");
    HelperChannel program(ends[0]), helper(ends[1]);
    std::vector<HelperMessage> replies;
    std::thread programSide([&] { replies = playProgram(program, options); });
    const bool served = HelperRequests::serve(request, helper, ring.get());
    // Shut, not closed: closing an end with messages unread (requests the
    // helper did not wait for) would make the other end fail before it has
    // read the replies.
    ::shutdown(helper.fd(), SHUT_WR);
    programSide.join();

    if (!served) {
        fuzz::check(options.rawPayload, "a request made as the plug-ins make theirs is served");
        fuzz::check(replies.empty(), "a request that is not served is not answered");
        return 0;
    }
    const HelperMessageType first = replies.empty() ? HelperMessageType::crashed : replies.front().type;
    fuzz::check(first == answerTo(options.operation) || first == HelperMessageType::failed,
                "a request is answered as the program expects, or with the decoder's error");
    if (first == HelperMessageType::started)
        checkStream(replies, options.renderRequests * options.batchesPerRequest);
    else
        fuzz::check(replies.size() == 1, "only a stream answers more than once");
    return 0;
}
