// The media database under a library of 100,000 rows: how fast a cold scan
// can write its rows in batches, how long listing the whole library at
// start-up takes, and how many track lookups (one per played track) run per
// second.
#include "RaskoLocalFile/MediaDatabase.h"
#include "bench/support/SyntheticLibrary.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using vessa::MediaDatabase;
using vessa::bench::fillSyntheticLibrary;
using vessa::bench::syntheticRow;

namespace {

constexpr int libraryRows = 100'000;

// One library file shared by the read benchmarks, built on first use.
MediaDatabase& library()
{
    static QTemporaryDir dir;
    static std::unique_ptr<MediaDatabase> database = [] {
        auto opened = std::make_unique<MediaDatabase>(dir.filePath(QStringLiteral("library.db")));
        fillSyntheticLibrary(*opened, libraryRows, 5000);
        return opened;
    }();
    return *database;
}

void upsertInBatches(benchmark::State& state)
{
    const int batchSize = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto database = std::make_unique<MediaDatabase>(dir.filePath(QStringLiteral("media.db")));
        state.ResumeTiming();
        fillSyntheticLibrary(*database, libraryRows, batchSize);
    }
    state.SetItemsProcessed(state.iterations() * libraryRows);
}
BENCHMARK(upsertInBatches)->Arg(100)->Arg(1000)->Arg(10'000)->Unit(benchmark::kMillisecond)->Iterations(2);

void upsertOneByOne(benchmark::State& state)
{
    QTemporaryDir dir;
    MediaDatabase database(dir.filePath(QStringLiteral("media.db")));
    int i = 0;
    for (auto _ : state)
        database.upsert(syntheticRow(i++));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(upsertOneByOne)->Iterations(2000);

void allTracks(benchmark::State& state)
{
    MediaDatabase& database = library();
    for (auto _ : state)
        benchmark::DoNotOptimize(database.allTracks());
    state.SetItemsProcessed(state.iterations() * libraryRows);
}
BENCHMARK(allTracks)->Unit(benchmark::kMillisecond);

void findTracks(benchmark::State& state)
{
    MediaDatabase& database = library();
    int i = 0;
    for (auto _ : state) {
        const int n = (i++ * 7919) % libraryRows;
        const MediaDatabase::TrackRow wanted = syntheticRow(n);
        benchmark::DoNotOptimize(
            database.findTracks(wanted.artist.toUpper(), wanted.album, wanted.title, wanted.durationSeconds));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(findTracks);

void countTracksUnderFolder(benchmark::State& state)
{
    MediaDatabase& database = library();
    for (auto _ : state)
        benchmark::DoNotOptimize(database.countTracks(QStringLiteral("/home/user/Music/Artist 42")));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(countTracksUnderFolder);

void allFileModTimes(benchmark::State& state)
{
    MediaDatabase& database = library();
    for (auto _ : state)
        benchmark::DoNotOptimize(database.allFileModTimes());
    state.SetItemsProcessed(state.iterations() * libraryRows);
}
BENCHMARK(allFileModTimes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
