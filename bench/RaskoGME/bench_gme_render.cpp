// Render speed, in times real time, of chip music through the plug-in's
// stream against a bare loop over libgme, for an FM + PSG VGM and a GBS.
// The difference is the plug-in's own cost: the decoder helper, its shared ring,
// sample conversion and buffers. Times are wall-clock (the rendering happens
// in the helper). Also the scan of 1,000 chip files through the helper
// against the same library calls made in this process.

#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoGME/GMEEmu.h"
#include "bench/support/RatioReporter.h"
#include "tests/support/ChipFixtures.h"

#include <QtEndian>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <utility>
#include <vector>

// Last: libgme's header leaves macros behind that GMELibrary.h takes back.
#include "RaskoGME/GMELibrary.h"

using namespace vessa;
using namespace vessa::test;

namespace {

constexpr double secondsPerRun = 60.0;
constexpr std::int64_t framesPerRun = std::int64_t(secondsPerRun * 44100);

const QByteArray& fixture(int which)
{
    static const QByteArray vgm = fmToneVgm();
    static const QByteArray gbs = gbsFile(2, "Bench", "Vessa", "2026");
    return which == 0 ? vgm : gbs;
}

void setLabels(benchmark::State& state, std::int64_t frames)
{
    state.SetLabel(state.range(0) == 0 ? "vgm" : "gbs");
    state.counters["x_realtime"] = benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
}

void BM_Plugin(benchmark::State& state)
{
    const QByteArray& bytes = fixture(int(state.range(0)));
    GMEDecoderPlugin plugin(VESSA_DECODER_HELPER);
    std::int64_t total = 0;
    for (auto _ : state) {
        // Rendering only: opening (a worker process, the emulator) is not timed.
        state.PauseTiming();
        AudioStream stream = plugin.open(SourceLocator::data(bytes), std::nullopt, DecoderHints(true));
        state.ResumeTiming();
        std::stop_source source;
        std::int64_t frames = 0;
        while (frames < framesPerRun) {
            std::optional<PCMBuffer> buffer = stream.buffers->next(source.get_token());
            if (!buffer)
                break;
            benchmark::DoNotOptimize(buffer->channelData[0].data());
            frames += buffer->frameCount();
        }
        total += frames;
    }
    setLabels(state, total);
}

void BM_DirectLibgme(benchmark::State& state)
{
    const QByteArray& bytes = fixture(int(state.range(0)));
    std::vector<short> samples(8192 * 2);
    std::int64_t total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Music_Emu* emu = nullptr;
        if (gme_open_data(bytes.constData(), long(bytes.size()), &emu, 44100) || gme_start_track(emu, 0)) {
            state.SkipWithError("libgme refused the fixture");
            gme_delete(emu);
            return;
        }
        state.ResumeTiming();
        std::int64_t frames = 0;
        while (frames < framesPerRun && !gme_track_ended(emu)) {
            gme_play(emu, int(samples.size()), samples.data());
            benchmark::DoNotOptimize(samples.data());
            frames += 8192;
        }
        gme_delete(emu);
        total += frames;
    }
    setLabels(state, total);
}

// A thousand small chip files of the three commonest kinds.
const QList<std::pair<QByteArray, QString>>& thousandFiles()
{
    static const QList<std::pair<QByteArray, QString>> files = [] {
        QList<std::pair<QByteArray, QString>> list;
        for (int i = 0; i < 1000; ++i) {
            const QByteArray name = "Song " + QByteArray::number(i);
            switch (i % 3) {
            case 0: list.append({gbsFile(1 + i % 5, name, "Bench", "2026"), "gbs"}); break;
            case 1: list.append({nsfFile(1 + i % 7, name, "Bench", "2026"), "nsf"}); break;
            default: list.append({toneVgm({{0, 1 + i % 4}}, false, name), "vgm"}); break;
            }
        }
        return list;
    }();
    return files;
}

void BM_ScanThroughHelper(benchmark::State& state)
{
    GMEDecoderPlugin plugin(VESSA_DECODER_HELPER);
    for (auto _ : state) {
        for (const auto& [bytes, extension] : thousandFiles())
            benchmark::DoNotOptimize(plugin.scanTracks(bytes, extension));
    }
    state.counters["us_per_file"] = benchmark::Counter(double(state.iterations()) * 1000.0,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ScanInProcess(benchmark::State& state)
{
    for (auto _ : state) {
        for (const auto& [bytes, extension] : thousandFiles()) {
            const GMEEmu emu = GMEEmu::open(bytes, extension, GMEEmu::infoOnlySampleRate);
            for (int index = 0; index < emu.trackCount(); ++index)
                benchmark::DoNotOptimize(emu.trackInfo(index));
        }
    }
    state.counters["us_per_file"] = benchmark::Counter(double(state.iterations()) * 1000.0,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_Plugin)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectLibgme)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanThroughHelper)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

VESSA_BENCHMARK_MAIN_WITH_RATIOS([](const vessa::bench::RatioReporter& reporter) {
    reporter.printRatio("VGM through the helper", "BM_Plugin/0/real_time", "BM_DirectLibgme/0/real_time", 1.10);
})
