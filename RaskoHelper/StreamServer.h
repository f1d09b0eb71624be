#pragma once

#include "RaskoHelper/HelperChannel.h"

#include <QString>

#include <functional>
#include <optional>

namespace vessa {

class PcmRing;

// The worker's side of a stream: answers render requests (each asks for a
// number of batches) by rendering each batch of chunks (about `batchBytes`)
// into the next slot of the helper's `ring` and replying "pcm" with that
// slot and size, or "ended" once the stream is over, until the program closes
// the stream. The CPU budget grows by the length of every batch, so a stream
// that renders slower than real time runs out of it and the worker is killed.
//
// `renderChunk` writes the next chunk of interleaved 16-bit stereo at
// `sampleRate` to `out`, which has room for `maximumChunkBytes`, and gives its
// size in bytes: 0 at the end (with `error` set when the library failed).
inline constexpr qsizetype batchBytes = 256 * 1024;
inline constexpr qsizetype maximumChunkBytes = 32 * 1024;

void serveStream(HelperChannel& channel, PcmRing& ring, int sampleRate,
                 const std::function<qsizetype(char* out, QString& error)>& renderChunk);

// Sends a reply; a program that went away ends the worker.
void sendOrExit(HelperChannel& channel, HelperMessageType type, QByteArray payload = {});

} // namespace vessa
