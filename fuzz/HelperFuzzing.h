#pragma once

#include "RaskoHelper/HelperMessage.h"
#include "fuzz/DecoderFuzzing.h"

namespace vessa::fuzz {

// How one input drives the decoder helper's request handling, from its first
// byte:
//   bits 0-2: the operation, k % 5 over gmeScan, gmeExtract, gmeOpen,
//             mikmodExtract and mikmodOpen
//   bit 3:    the rest of the input is the request's payload as it stands;
//             otherwise it is two DecoderFuzzOptions bytes (over the chip-music
//             extensions) and a file, made into the payload the plug-ins send
//   bits 4-5: render requests that follow the request (0-3)
//   bit 6:    each of them asks for two batches rather than one
//   bit 7:    the program closes the stream after them; otherwise it stops
//             talking (its end of the socket shut for writing)
struct HelperFuzzOptions {
    HelperMessageType operation = HelperMessageType::gmeScan;
    bool rawPayload = false;
    int renderRequests = 0;
    int batchesPerRequest = 1;
    bool closes = false;

    static HelperFuzzOptions take(FuzzInput& input);
    // The option byte for these options (as take() reads it back).
    char byte() const;
};

// The payload of an operation's request for a file, as the plug-ins write it.
QByteArray requestPayload(HelperMessageType operation, const DecoderFuzzOptions& options, const QByteArray& file);

} // namespace vessa::fuzz
