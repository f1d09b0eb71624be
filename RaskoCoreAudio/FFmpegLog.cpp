#include "RaskoCoreAudio/FFmpegLog.h"

#include "VessaCore/Logging.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QByteArray>

#include <cstdarg>
#include <mutex>

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcFFmpeg, "rasko.coreaudio", "ffmpeg")

void forward(void* object, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_WARNING)
        return;
    // FFmpeg may hand over a line in pieces; each thread gathers its own.
    thread_local QByteArray line;
    thread_local int printPrefix = 1;
    char piece[1024];
    va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(object, level, format, copy, piece, sizeof piece, &printPrefix);
    va_end(copy);
    line += piece;
    if (!line.endsWith('\n'))
        return;
    const QString text = QString::fromUtf8(line).trimmed();
    line.clear();
    if (text.isEmpty())
        return;
    if (level <= AV_LOG_ERROR)
        logWarning(lcFFmpeg(), text);
    else
        logInfo(lcFFmpeg(), text);
}

} // namespace

void routeFFmpegLogging()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_WARNING);
        av_log_set_callback(&forward);
    });
}

} // namespace vessa
