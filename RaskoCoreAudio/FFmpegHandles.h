#pragma once

#include <memory>

// Owning handles for the FFmpeg objects this module uses. Only forward
// declarations here: the FFmpeg headers stay inside the module's .cpp files.
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

namespace vessa {

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const; // avformat_close_input
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const;
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const;
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const;
};
struct SwrContextDeleter {
    void operator()(SwrContext* context) const;
};
// Frees the context's I/O buffer too.
struct IOContextDeleter {
    void operator()(AVIOContext* context) const;
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using IOContextPtr = std::unique_ptr<AVIOContext, IOContextDeleter>;

} // namespace vessa
