// Decoding speed of the FFmpeg decoder plug-in, in times real time.
//
//   bench_coreaudio_decode             makes a 10-minute FLAC and MP3 (with the
//                                      ffmpeg tool) in a temporary folder and
//                                      decodes each three times
//   bench_coreaudio_decode FILE...     decodes the given files once each
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "tests/support/FfmpegTool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>

using namespace vessa;

namespace {

// Decodes the whole file; returns the wall-clock seconds and the audio seconds.
std::pair<double, double> decode(CoreAudioDecoderPlugin& plugin, const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    AudioStream stream = plugin.open(SourceLocator::fileURL(path), std::nullopt, DecoderHints());
    qint64 frames = 0;
    std::stop_source source;
    while (std::optional<PCMBuffer> buffer = stream.buffers->next(source.get_token()))
        frames += buffer->frameCount();
    return {static_cast<double>(timer.nsecsElapsed()) / 1e9, static_cast<double>(frames) / stream.format.sampleRate};
}

void report(CoreAudioDecoderPlugin& plugin, const QString& path, int runs)
{
    double best = 0;
    double audio = 0;
    for (int run = 0; run < runs; ++run) {
        const auto [wall, seconds] = decode(plugin, path);
        if (run == 0 || wall < best)
            best = wall;
        audio = seconds;
    }
    std::printf("%-24s %8.1f s of audio in %7.3f s: %7.1f times real time\n",
                qPrintable(path.section(QLatin1Char('/'), -1)), audio, best, audio / best);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("com.tornwick.*.debug=false"));
    CoreAudioDecoderPlugin plugin(8192);
    const QStringList files = app.arguments().mid(1);
    if (!files.isEmpty()) {
        for (const QString& file : files)
            report(plugin, file, 1);
        return 0;
    }
    QTemporaryDir dir;
    const QString noise = QStringLiteral("anoisesrc=color=pink:sample_rate=44100:amplitude=0.3:duration=600");
    const QString made =
        test::runFfmpeg({"-f", "lavfi", "-i", noise, "-ac", "2", "-c:a", "flac", dir.filePath("ten-minutes.flac")},
                        600000)
        + test::runFfmpeg({"-f", "lavfi", "-i", noise, "-ac", "2", "-c:a", "libmp3lame", "-b:a", "256k",
                           dir.filePath("ten-minutes.mp3")},
                          600000);
    if (!made.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(made));
        return 1;
    }
    report(plugin, dir.filePath("ten-minutes.flac"), 3);
    report(plugin, dir.filePath("ten-minutes.mp3"), 3);
    return 0;
}
