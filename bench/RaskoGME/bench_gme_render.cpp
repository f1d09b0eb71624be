// Render speed, in times real time, of chip music through the plug-in's
// stream against a bare loop over libgme, for an FM + PSG VGM and a GBS.
// The difference is the plug-in's own cost: the decoder helper, the socket,
// sample conversion and buffers. Times are wall-clock (the rendering happens
// in the helper). Also the scan of 1,000 chip files through the helper
// against the same library calls made in this process.

#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoGME/GMEEmu.h"
#include "tests/support/ChipFixtures.h"

#include <QtEndian>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <utility>
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

// The looping tone fixture with a YM2612 FM voice (all four operators as
// carriers) holding a note under it: heavier emulation, as in real Genesis
// music, so the figures compare the plug-in with the library at a realistic
// load.
QByteArray fmVgm()
{
    QByteArray file = toneVgm({{0, 0.5}, {4, 0.25}, {8, 0.25}, {15, 0.5}, {2, 1.0}}, true);
    QByteArray fm;
    const auto write = [&fm](int reg, int value) { fm.append(char(0x52)).append(char(reg)).append(char(value)); };
    for (int op = 0; op < 16; op += 4) {
        for (auto [reg, value] :
             {std::pair{0x30, 0x01}, {0x40, 0x18}, {0x50, 0x1F}, {0x60, 0x05}, {0x70, 0x02}, {0x80, 0x27}})
            write(reg + op, value);
    }
    write(0xB0, 0x07); // algorithm 7
    write(0xB4, 0xC0); // both speakers
    write(0xA4, 0x22); // block 4, note
    write(0xA0, 0x8D);
    write(0x28, 0xF0); // key on
    // The FM writes go first in the data, inside the loop; the end-of-file and
    // tag offsets move along; the YM2612 gets its NTSC clock.
    file.insert(0x40, fm);
    for (int at : {0x04, 0x14})
        qToLittleEndian<quint32>(qFromLittleEndian<quint32>(file.constData() + at) + quint32(fm.size()),
                                 file.data() + at);
    qToLittleEndian<quint32>(7670453, file.data() + 0x2C);
    return file;
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

BENCHMARK_MAIN();
