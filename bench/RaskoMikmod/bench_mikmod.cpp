// Render speed of the tracker-module decoder: a busy four-channel module
// rendered through the plug-in's stream, reported as times real time.

#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/MikmodRenderer.h"
#include "bench/support/RatioReporter.h"
#include "tests/support/ModFixture.h"

#include <benchmark/benchmark.h>

using namespace vessa;
using vessa::test::ModFixture;

namespace {

// Sixteen positions with a note on every channel every other row.
QByteArray busyModule()
{
    ModFixture fixture;
    fixture.title = "Bench";
    const int periods[] = {428, 381, 339, 320, 285, 254, 226, 214};
    for (int pattern = 0; pattern < 16; ++pattern) {
        fixture.orders.append(pattern);
        for (int row = 0; row < ModFixture::rowCount; row += 2)
            for (int channel = 0; channel < ModFixture::channelCount; ++channel)
                fixture.note(pattern, row, channel, ModFixture::Note{periods[(row / 2 + channel + pattern) % 8], 1});
    }
    return fixture.bytes();
}

void BM_RenderModule(benchmark::State& state)
{
    MikmodDecoderPlugin plugin(VESSA_DECODER_HELPER);
    const SourceLocator locator = SourceLocator::data(busyModule());
    qint64 frames = 0;
    for (auto _ : state) {
        // Rendering only: opening (a worker process, the module) is not timed.
        state.PauseTiming();
        AudioStream stream = plugin.open(locator, std::nullopt, DecoderHints());
        state.ResumeTiming();
        std::stop_source source;
        while (std::optional<PCMBuffer> buffer = stream.buffers->next(source.get_token())) {
            frames += buffer->frameCount();
            benchmark::DoNotOptimize(buffer->channelData[0].data());
        }
    }
    // Seconds of audio per second of rendering: times real time.
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(frames) / MikmodDecoderPlugin::streamFormat().sampleRate, benchmark::Counter::kIsRate);
    state.counters["audio_s"] = static_cast<double>(frames) / MikmodDecoderPlugin::streamFormat().sampleRate
                                / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RenderModule)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same module rendered by a bare loop over the library, in this process.
void BM_RenderModuleDirectly(benchmark::State& state)
{
    const QByteArray bytes = busyModule();
    qint64 frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        MikmodRenderer renderer(MikmodLibrary::load(bytes, MikmodLibrary::LoadPurpose::playback));
        state.ResumeTiming();
        while (std::optional<QByteArray> block = renderer.renderNext()) {
            frames += block->size() / MikmodRenderer::bytesPerFrame;
            benchmark::DoNotOptimize(block->data());
        }
    }
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(frames) / MikmodDecoderPlugin::streamFormat().sampleRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderModuleDirectly)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    const SourceLocator locator = SourceLocator::data(busyModule());
    for (auto _ : state)
        benchmark::DoNotOptimize(plugin.extract(locator, std::nullopt));
}
BENCHMARK(BM_ExtractModule)->Unit(benchmark::kMicrosecond);

} // namespace

VESSA_BENCHMARK_MAIN_WITH_RATIOS([](const vessa::bench::RatioReporter& reporter) {
    reporter.printRatio("rendering through the helper", "BM_RenderModule/real_time",
                        "BM_RenderModuleDirectly/real_time", 1.10);
})
