#include "RaskoCoreAudio/FFmpegHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

namespace vessa {

void FormatContextDeleter::operator()(AVFormatContext* context) const
{
    avformat_close_input(&context);
}

void CodecContextDeleter::operator()(AVCodecContext* context) const
{
    avcodec_free_context(&context);
}

void PacketDeleter::operator()(AVPacket* packet) const
{
    av_packet_free(&packet);
}

void FrameDeleter::operator()(AVFrame* frame) const
{
    av_frame_free(&frame);
}

void SwrContextDeleter::operator()(SwrContext* context) const
{
    swr_free(&context);
}

void IOContextDeleter::operator()(AVIOContext* context) const
{
    if (!context)
        return;
    av_freep(&context->buffer);
    avio_context_free(&context);
}

} // namespace vessa
