// Render speed, in times real time, of chip music through the plug-in's
// stream against a bare loop over libgme, for a PSG tone VGM and a GBS.
// The difference is the plug-in's own cost (sample conversion, buffers).

#include "RaskoGME/GMEDecoderPlugin.h"
#include "tests/support/ChipFixtures.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

// Last: gme.h defines macros that break other headers.
#include <gme/gme.h>
#undef byte
#undef check
#undef require
#undef likely
#undef unlikely
#undef debug_printf
#undef RETURN_ERR
#undef CHECK_ALLOC
#undef BLARGG_CHECK_ALLOC
#undef BLARGG_RETURN_ERR

using namespace vessa;
using namespace vessa::test;

namespace {

constexpr double secondsPerRun = 60.0;
constexpr std::int64_t framesPerRun = std::int64_t(secondsPerRun * 44100);

// A looping tone that swells and pauses.
QByteArray toneLoopVgm()
{
    return toneVgm({{0, 0.5}, {4, 0.25}, {8, 0.25}, {15, 0.5}, {2, 1.0}}, true);
}

const QByteArray& fixture(int which)
{
    static const QByteArray vgm = toneLoopVgm();
    static const QByteArray gbs = gbsFile(2, "Bench", "Vessa", "2026");
    return which == 0 ? vgm : gbs;
}

void setLabels(benchmark::State& state, std::int64_t frames)
{
    state.SetLabel(state.range(0) == 0 ? "vgm" : "gbs");
    state.counters["x_realtime"] =
        benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
}

void BM_Plugin(benchmark::State& state)
{
    const QByteArray& bytes = fixture(int(state.range(0)));
    GMEDecoderPlugin plugin;
    std::int64_t total = 0;
    for (auto _ : state) {
        AudioStream stream = plugin.open(SourceLocator::data(bytes), std::nullopt, DecoderHints(true));
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
        Music_Emu* emu = nullptr;
        if (gme_open_data(bytes.constData(), long(bytes.size()), &emu, 44100) || gme_start_track(emu, 0)) {
            state.SkipWithError("libgme refused the fixture");
            gme_delete(emu);
            return;
        }
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

} // namespace

BENCHMARK(BM_Plugin)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectLibgme)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
