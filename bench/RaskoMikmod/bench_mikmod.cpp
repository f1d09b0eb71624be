// Render speed of the tracker-module decoder over fourteen varied modules:
// each rendered through the plug-in's stream (the decoder helper's worker,
// its ring and the conversion to Float32) and by a bare loop over the library
// in this process, in turn, and the ratio of the two over the whole set. The
// time of each row is the helper's, `bare_ms` the bare loop's and `ratio` the
// median of the module's pairs; the CPU column counts this process, bare loop
// included. Also a seek five minutes into a module and reading a module's tags.

#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/MikmodRenderer.h"
#include "bench/support/RatioReporter.h"
#include "tests/support/ModFixture.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

using namespace vessa;
using vessa::test::ModFixture;

namespace {

// `channels` channels with a note every `step` rows in each of `positions`
// patterns, the periods taken in turn from `periods`.
ModFixture notes(int channels, int positions, int step, const QList<int>& periods, const QByteArray& title)
{
    ModFixture fixture;
    fixture.title = title;
    fixture.channels = channels;
    for (int pattern = 0; pattern < positions; ++pattern) {
        fixture.orders.append(pattern);
        for (int row = 0; row < ModFixture::rowCount; row += step)
            for (int channel = 0; channel < channels; ++channel)
                fixture.note(pattern, row, channel,
                             ModFixture::Note{periods[(row / step + channel + pattern) % periods.size()], 1});
    }
    return fixture;
}

// Every `step` rows from `firstRow` of each of `positions` patterns, an
// effect on `channel`.
ModFixture withEffect(ModFixture fixture, int positions, int firstRow, int step, int channel, int effect, int parameter)
{
    for (int pattern = 0; pattern < positions; ++pattern)
        for (int row = firstRow; row < ModFixture::rowCount; row += step)
            fixture.note(pattern, row, channel, ModFixture::Note{0, 0, effect, parameter});
    return fixture;
}

struct BenchModule {
    const char* name;
    QByteArray bytes;
};

constexpr int moduleCount = 14;
using ModuleSet = std::array<BenchModule, moduleCount>;

// Modules that load the library differently: 2 to 8 channels, sparse and
// dense notes, high and low ones, tempo and speed changes, vibrato, volume
// commands and pattern breaks, from half a minute to six minutes long.
const ModuleSet& moduleSet()
{
    static const ModuleSet set = [] {
        const QList<int> middle{428, 381, 339, 320, 285, 254, 226, 214};
        const QList<int> high{113, 127, 143, 151, 170, 190, 202, 226};
        const QList<int> low{856, 762, 678, 640, 570, 508, 453, 428};
        constexpr int vibrato = 0x4, setVolume = 0xC;
        ModFixture speed3 = notes(4, 24, 4, middle, "Speed 3");
        speed3.note(0, 0, 0, {428, 1, ModFixture::setSpeed, 3});
        ModFixture fast = notes(4, 16, 2, middle, "200 BPM");
        fast.note(0, 0, 0, {428, 1, ModFixture::setSpeed, 200});
        ModFixture slow = notes(6, 8, 1, low, "Speed 12");
        slow.note(0, 0, 0, {856, 1, ModFixture::setSpeed, 12});
        return ModuleSet{{
            {"4 channels, busy", notes(4, 16, 2, middle, "Busy").bytes()},
            {"4 channels, a note a pattern", ModFixture::song(16, "Sparse").bytes()},
            {"2 channels, every row", notes(2, 16, 1, middle, "Two").bytes()},
            {"6 channels, busy", notes(6, 16, 2, middle, "Six").bytes()},
            {"8 channels, busy", notes(8, 16, 2, middle, "Eight").bytes()},
            {"8 channels, held low notes", notes(8, 16, ModFixture::rowCount, low, "Held").bytes()},
            {"4 channels, speed 3", speed3.bytes()},
            {"4 channels, 200 BPM", fast.bytes()},
            {"4 channels, high, vibrato",
             withEffect(notes(4, 16, 1, high, "High"), 16, 1, 4, 3, vibrato, 0x48).bytes()},
            {"4 channels, low, volume", withEffect(notes(4, 16, 3, low, "Low"), 16, 2, 8, 2, setVolume, 0x20).bytes()},
            {"4 channels, 48 positions", notes(4, 48, 4, middle, "Long").bytes()},
            {"4 channels, 4 positions", notes(4, 4, 1, middle, "Short").bytes()},
            {"4 channels, pattern breaks",
             withEffect(notes(4, 24, 2, middle, "Breaks"), 24, 31, ModFixture::rowCount, 3, ModFixture::patternBreak, 0)
                 .bytes()},
            {"6 channels, speed 12", slow.bytes()},
        }};
    }();
    return set;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One module through the plug-in's stream, until it ends. Opening (a worker
// process, the module) is not timed.
double renderThroughHelper(MikmodDecoderPlugin& plugin, const QByteArray& bytes, qint64& frames)
{
    AudioStream stream = plugin.open(SourceLocator::data(bytes), std::nullopt, DecoderHints());
    const Clock::time_point start = Clock::now();
    std::stop_source source;
    while (std::optional<PCMBuffer> buffer = stream.buffers->next(source.get_token())) {
        frames += buffer->frameCount();
        benchmark::DoNotOptimize(buffer->channelData[0].data());
    }
    return secondsSince(start);
}

// The same module by a bare loop over the library, in this process.
double renderDirectly(const QByteArray& bytes)
{
    MikmodRenderer renderer(MikmodLibrary::load(bytes, MikmodLibrary::LoadPurpose::playback));
    const Clock::time_point start = Clock::now();
    while (std::optional<QByteArray> block = renderer.renderNext())
        benchmark::DoNotOptimize(block->data());
    return secondsSince(start);
}

// Every render of each module, through the helper and bare: seconds, in pairs.
struct RenderPair {
    double helper = 0;
    double direct = 0;
};

std::array<std::vector<RenderPair>, moduleCount>& renderPairs()
{
    static std::array<std::vector<RenderPair>, moduleCount> pairs;
    return pairs;
}

// The median of a module's pairs' ratios, so that one render slowed by
// something else on the machine does not move it.
double medianRatio(const std::vector<RenderPair>& pairs)
{
    std::vector<double> ratios;
    for (const RenderPair& pair : pairs)
        ratios.push_back(pair.helper / pair.direct);
    std::sort(ratios.begin(), ratios.end());
    const std::size_t middle = ratios.size() / 2;
    return ratios.size() % 2 ? ratios[middle] : (ratios[middle - 1] + ratios[middle]) / 2;
}

// Through the helper and bare in turn, alternating which goes first, so that
// a change in the machine's speed during the run (other work, a virtual CPU
// moved) weighs on both alike. The time reported is the helper's.
void BM_RenderModule(benchmark::State& state)
{
    const auto index = static_cast<std::size_t>(state.range(0));
    const BenchModule& module = moduleSet()[index];
    MikmodDecoderPlugin plugin(VESSA_DECODER_HELPER);
    std::vector<RenderPair>& pairs = renderPairs()[index];
    qint64 frames = 0;
    double helper = 0;
    double direct = 0;
    for (auto _ : state) {
        RenderPair pair;
        const bool helperFirst = pairs.size() % 2 == 0;
        if (helperFirst)
            pair.helper = renderThroughHelper(plugin, module.bytes, frames);
        pair.direct = renderDirectly(module.bytes);
        if (!helperFirst)
            pair.helper = renderThroughHelper(plugin, module.bytes, frames);
        state.SetIterationTime(pair.helper);
        helper += pair.helper;
        direct += pair.direct;
        pairs.push_back(pair);
    }
    const auto renders = static_cast<double>(state.iterations());
    const double sampleRate = MikmodDecoderPlugin::streamFormat().sampleRate;
    state.SetLabel(module.name);
    state.counters["audio_s"] = static_cast<double>(frames) / sampleRate / renders;
    state.counters["x_realtime"] = static_cast<double>(frames) / sampleRate / helper;
    state.counters["bare_ms"] = direct * 1000.0 / renders;
    state.counters["ratio"] = medianRatio(pairs);
}
BENCHMARK(BM_RenderModule)
    ->DenseRange(0, moduleCount - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

// A seek five minutes into a module (64 positions, about 8 minutes), until
// its first buffer: the module is rendered silently from its start.
void BM_SeekFiveMinutes(benchmark::State& state)
{
    MikmodDecoderPlugin plugin(VESSA_DECODER_HELPER);
    AudioStream stream =
        plugin.open(SourceLocator::data(ModFixture::song(64, "Long").bytes()), std::nullopt, DecoderHints());
    std::stop_source source;
    for (auto _ : state) {
        PcmBufferStreamPtr sought = stream.seek(300.0, {});
        benchmark::DoNotOptimize(sought->next(source.get_token()));
    }
}
BENCHMARK(BM_SeekFiveMinutes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExtractModule(benchmark::State& state)
{
    MikmodDecoderPlugin plugin(VESSA_DECODER_HELPER);
    const SourceLocator locator = SourceLocator::data(moduleSet().front().bytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(plugin.extract(locator, std::nullopt));
}
BENCHMARK(BM_ExtractModule)->Unit(benchmark::kMicrosecond);

// The whole set: each module's ratio weighted by its bare time, so that
// every module counts by how long the library takes to render it.
void printSetRatio()
{
    double weighted = 0;
    double weights = 0;
    for (const std::vector<RenderPair>& pairs : renderPairs()) {
        if (pairs.empty())
            return;
        double direct = 0;
        for (const RenderPair& pair : pairs)
            direct += pair.direct / static_cast<double>(pairs.size());
        weighted += medianRatio(pairs) * direct;
        weights += direct;
    }
    vessa::bench::RatioReporter::printRatio("rendering " + std::to_string(moduleCount) + " modules through the helper",
                                            weighted / weights, 1.10);
}

} // namespace

VESSA_BENCHMARK_MAIN_WITH_RATIOS([](const vessa::bench::RatioReporter&) { printSetRatio(); })
