#pragma once

namespace vessa {

// Sends FFmpeg's own warnings and errors to the logging category
// "com.tornwick.rasko.coreaudio.ffmpeg" instead of stderr, and drops its
// chatter below warnings. FFmpeg keeps one process-wide log callback; the
// first call installs it, later calls do nothing. Thread-safe.
void routeFFmpegLogging();

} // namespace vessa
