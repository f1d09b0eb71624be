// The library scan against its targets, on a folder made by make-library.sh:
//
//   bench_scantargets DIR [--cold-only] [--rescans N]
//
// Prints, with the figure each is held against:
//   - the cold scan into an empty database: CPU and wall time per song (run
//     it under `taskset -c 0` for the figure of one CPU; scan-targets.sh runs
//     both ways);
//   - a warm rescan with nothing changed against a stat() walk of the same
//     tree (both with a warm file-system cache);
//   - the resident size after the first and the last of N warm rescans
//     (default 6) while the previous library is held, as an application
//     holds it until the new one replaces it;
//   - the heap the library takes per track once scanned (the list the
//     caller holds, shared with the source, and SQLite's cache).
//
// The reference figures are MPD 0.23's, measured on the same generated
// libraries: 117 microseconds of CPU per song on one CPU, one scanning
// thread (so its wall time per song is about its CPU time), 330 bytes per
// loaded song.
#include "Rasko/PluginRegistry.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoMikmod/MikmodDecoderPlugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <fcntl.h>
#include <ftw.h>
#include <malloc.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vessa;

namespace {

constexpr double mpdCpuPerSongMicroseconds = 117.0;
constexpr double mpdBytesPerSong = 330.0;

double seconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto toSeconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

qint64 statCount = 0;

int statEntry(const char*, const struct stat*, int, FTW*)
{
    ++statCount;
    return 0;
}

// Every entry of the tree examined with stat(), as a rescan must at least do.
double statWalk(const QString& root)
{
    QElapsedTimer timer;
    timer.start();
    statCount = 0;
    nftw(QFile::encodeName(root).constData(), statEntry, 64, FTW_PHYS);
    return seconds(timer);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int cpusAllowed()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
}

const char* verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("com.tornwick.*=false\n*.warning=false"));
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_scantargets DIR [--cold-only] [--rescans N]\n");
        return 2;
    }
    const QString library = QDir(args.at(1)).absolutePath();
    const bool coldOnly = args.contains(QStringLiteral("--cold-only"));
    int rescans = 6;
    if (const qsizetype at = args.indexOf(QStringLiteral("--rescans")); at > 0 && at + 1 < args.size())
        rescans = std::max(1, args.at(at + 1).toInt());

    QTemporaryDir work;
    PluginRegistry registry({}, {std::make_shared<GMEDecoderPlugin>(), std::make_shared<MikmodDecoderPlugin>(),
                                 std::make_shared<CoreAudioDecoderPlugin>(8192)});
    const auto database = std::make_shared<MediaDatabase>(work.filePath(QStringLiteral("media.db")));
    LocalFileSourcePlugin source(database, registry.buildCompositeMetadataExtractor(), registry.multiTrackScanners(),
                                 registry.allSupportedExtensions());
    const QStringList folders{library};

    try {
        // Warms the file-system cache, so the cold scan measures the scan.
        statWalk(library);
        std::printf("library %s: %lld entries; %d CPU(s) allowed\n", qPrintable(library), qlonglong(statCount),
                    cpusAllowed());

        malloc_trim(0);
        const std::size_t heapBefore = heapInUse();
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = cpuSeconds();
        QList<ScannedTrack> tracks = source.scanDirectories(folders);
        const double coldWall = seconds(timer);
        const double coldCpu = cpuSeconds() - cpuBefore;
        // What the process keeps for the library it holds: the list, the
        // source's own copy of it (shared) and SQLite's page cache.
        const double perTrack = double(heapInUse() - heapBefore) / double(std::max<qsizetype>(tracks.size(), 1));
        const auto songs = double(std::max<qsizetype>(tracks.size(), 1));
        const double cpuPerSong = coldCpu / songs * 1e6;
        const double wallPerSong = coldWall / songs * 1e6;
        std::printf("cold scan:    %lld songs, %.2f s wall, %.2f s CPU\n", qlonglong(tracks.size()), coldWall, coldCpu);
        std::printf("  CPU per song  %7.1f us   target <= %.0f us (MPD, one CPU)      %s\n", cpuPerSong,
                    mpdCpuPerSongMicroseconds,
                    cpusAllowed() == 1 ? verdict(cpuPerSong <= mpdCpuPerSongMicroseconds) : "(run pinned to judge)");
        std::printf("  wall per song %7.1f us   target <= %.1f us (4x MPD's speed)  %s\n", wallPerSong,
                    mpdCpuPerSongMicroseconds / 4,
                    cpusAllowed() > 1 ? verdict(wallPerSong <= mpdCpuPerSongMicroseconds / 4)
                                      : "(run unpinned to judge)");
        std::printf("loaded library: %lld tracks, %.0f bytes per track (heap)   target <= 600 (MPD %.0f)   %s\n",
                    qlonglong(tracks.size()), perTrack, mpdBytesPerSong, verdict(perTrack <= 600));
        if (coldOnly)
            return 0;

        std::vector<double> walks, warms;
        for (int i = 0; i < 3; ++i) {
            walks.push_back(statWalk(library));
            timer.restart();
            const QList<ScannedTrack> again = source.scanDirectories(folders);
            warms.push_back(seconds(timer));
            if (again.size() != tracks.size()) {
                std::fprintf(stderr, "a rescan changed the library: %lld tracks, then %lld\n", qlonglong(tracks.size()),
                             qlonglong(again.size()));
                return 1;
            }
        }
        const double walk = median(walks);
        const double warm = median(warms);
        std::printf("warm rescan:  %.3f s; stat walk %.3f s; ratio %.2f   target <= 1.5   %s\n", warm, walk,
                    warm / walk, verdict(warm / walk <= 1.5));

        // The previous library stays alive while the next one is built.
        std::vector<double> resident;
        for (int i = 0; i < rescans; ++i) {
            QList<ScannedTrack> next = source.scanDirectories(folders);
            tracks = std::move(next);
            resident.push_back(residentMegabytes());
        }
        const double growth = (resident.back() / resident.front() - 1.0) * 100.0;
        std::printf("resident size after rescan 1: %.1f MB, after rescan %d: %.1f MB; growth %+.1f %%   target <= "
                    "10 %%   %s\n",
                    resident.front(), rescans, resident.back(), growth, verdict(growth <= 10.0));

    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan failed: %s\n", error.what());
        return 1;
    }
    return 0;
}
