// TrackRef construction and parsing run for every track on every scan and
// every sort of the library, so they must stay cheap.
#include "VessaCore/TrackRef.h"

#include <benchmark/benchmark.h>

using vessa::TrackRef;

static void constructPlain(benchmark::State& state)
{
    const QString artist = QStringLiteral("Some Artist");
    const QString album = QStringLiteral("Greatest Album (Remastered)");
    const QString title = QStringLiteral("Track Title");
    for (auto _ : state)
        benchmark::DoNotOptimize(TrackRef(artist, album, title, 241, std::nullopt));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(constructPlain);

static void constructEscaped(benchmark::State& state)
{
    const QString artist = QStringLiteral("Sigur Rós: Live # 1");
    const QString album = QStringLiteral("Ágætis byrjun / 100%");
    const QString title = QStringLiteral("Svefn-g-englar ♪");
    for (auto _ : state)
        benchmark::DoNotOptimize(TrackRef(artist, album, title, 600, 2));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(constructEscaped);

static void parseAllViews(benchmark::State& state)
{
    const TrackRef ref(QStringLiteral("Sigur Rós"), QStringLiteral("Ágætis byrjun"), QStringLiteral("Svefn-g-englar"),
                       600, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ref.artist());
        benchmark::DoNotOptimize(ref.album());
        benchmark::DoNotOptimize(ref.track());
        benchmark::DoNotOptimize(ref.durationHint());
        benchmark::DoNotOptimize(ref.subTrackIndex());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(parseAllViews);

static void parseTitleOnly(benchmark::State& state)
{
    const TrackRef ref(QStringLiteral("Some Artist"), QStringLiteral("Some Album"), QStringLiteral("Track Title"));
    for (auto _ : state)
        benchmark::DoNotOptimize(ref.track());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(parseTitleOnly);

BENCHMARK_MAIN();
