// Render speed, in times real time, of chip music through the plug-in's
// stream against a bare loop over libgme, for an FM + PSG VGM and a GBS.
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

// One YM2612 FM voice (all four operators as carriers) playing a
// looping run of eight notes over a PSG bass tone.
QByteArray fmVgm()
{
    VgmBuilder vgm;
    vgm.ym2612Clock(VgmBuilder::ym2612ClockNtsc);
    vgm.ym2612(0, 0x22, 0x00).ym2612(0, 0x27, 0x00).ym2612(0, 0x28, 0x00);
    for (quint8 op = 0; op < 16; op += 4) {
        vgm.ym2612(0, quint8(0x30 + op), 0x01);  // multiple 1
        vgm.ym2612(0, quint8(0x40 + op), 0x18);  // total level
        vgm.ym2612(0, quint8(0x50 + op), 0x1F);  // attack rate
        vgm.ym2612(0, quint8(0x60 + op), 0x05);  // decay rate
        vgm.ym2612(0, quint8(0x70 + op), 0x02);  // sustain rate
        vgm.ym2612(0, quint8(0x80 + op), 0x27);  // sustain level, release rate
    }
    vgm.ym2612(0, 0xB0, 0x07).ym2612(0, 0xB4, 0xC0);
    vgm.psgTone(2, 1000).psgAttenuation(2, 4);
    vgm.loopHere();
    const quint16 notes[] = {0x28D, 0x2D8, 0x32F, 0x365, 0x3CD, 0x443, 0x4C6, 0x517};
    for (quint16 fnum : notes) {
        vgm.ym2612(0, 0x28, 0x00);
        vgm.ym2612(0, 0xA4, quint8((4 << 3) | (fnum >> 8))).ym2612(0, 0xA0, quint8(fnum & 0xFF));
        vgm.ym2612(0, 0x28, 0xF0);
        vgm.waitSeconds(0.25);
    }
    return vgm.build();
}

const QByteArray& fixture(int which)
{
    static const QByteArray vgm = fmVgm();
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
