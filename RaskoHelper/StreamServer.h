#pragma once

#include "RaskoHelper/HelperChannel.h"

#include <QString>

#include <functional>
#include <optional>

namespace vessa {

// The worker's side of a stream: answers render requests (each asks for a
// number of batches) with one "pcm" reply per batch of chunks (about
// `batchBytes`), or "ended" once the stream is over, until the program closes
// the stream. The CPU budget grows
// by the length of every chunk, so a stream that renders slower than real
// time runs out of it and the worker is killed.
//
// `renderChunk` gives the next chunk of interleaved 16-bit stereo at
// `sampleRate`, or nothing at the end (with `error` set when the library
// failed).
inline constexpr qsizetype batchBytes = 128 * 1024;

void serveStream(HelperChannel& channel, int sampleRate,
                 const std::function<std::optional<QByteArray>(QString& error)>& renderChunk);

// Sends a reply; a program that went away ends the worker.
void sendOrExit(HelperChannel& channel, HelperMessageType type, QByteArray payload = {});

} // namespace vessa
