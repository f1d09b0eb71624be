#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

#include <cstdint>

namespace vessa {

// What the program and its decoder helper say to each other. Requests go to
// the helper, replies come back; a reply answers the oldest open request.
enum class HelperMessageType : std::uint32_t {
    // Requests. The first five start an operation, served by a fresh worker
    // process; render and close only reach the worker of a stream.
    gmeScan = 1,   // file bytes, extension: the information of every sub-track
    gmeExtract,    // file bytes, optional extension, index: one sub-track's information
    gmeOpen,       // file bytes, optional extension, index, endless play, optional seek in ms
    mikmodExtract, // file bytes: song name and module type
    mikmodOpen,    // file bytes, start in seconds
    render,        // this many more chunks of the open stream (qint32)
    close,         // the stream is no longer wanted: the worker ends

    // Replies.
    failed = 100, // the decoder's own error (kind, index, count, message)
    crashed,      // the worker died, ran out of time or memory (sent by the helper itself)
    trackInfos,   // gmeScan: every sub-track's information
    trackInfo,    // gmeExtract: one sub-track's information, or none
    moduleInfo,   // mikmodExtract
    started,      // gmeOpen (play length in ms) and mikmodOpen: render requests may follow
    pcm,          // a batch rendered into the ring: its slot and size in bytes (qint32 each)
    ended,        // the stream is over (with the library's error text, when it failed)
};

struct HelperMessage {
    HelperMessageType type = HelperMessageType::failed;
    QByteArray payload;

    bool operator==(const HelperMessage&) const = default;
};

// Builds a payload with QDataStream.
template <typename... Values>
QByteArray helperPayload(const Values&... values)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    (out << ... << values);
    return payload;
}

// Reads the values that helperPayload wrote; false when the payload is damaged.
template <typename... Values>
bool readHelperPayload(const QByteArray& payload, Values&... values)
{
    QDataStream in(payload);
    (in >> ... >> values);
    return in.status() == QDataStream::Ok;
}

} // namespace vessa
