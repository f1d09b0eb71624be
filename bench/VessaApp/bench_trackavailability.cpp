// The track lists ask the availability index for every visible row, and the
// library replaces its whole set after every scan; both must stay cheap for a
// large library.
#include "Vessa/App/Library/TrackAvailabilityIndex.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using vessa::TrackAvailabilityIndex;
using vessa::TrackRef;

namespace {

QSet<TrackRef> library(qint64 count, int variant = 0)
{
    QSet<TrackRef> refs;
    refs.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        refs.insert(TrackRef(QStringLiteral("Artist %1").arg(i / 100), QStringLiteral("Album %1").arg(i / 10),
                             QStringLiteral("Track %1 %2").arg(i).arg(variant), 200 + i % 100));
    return refs;
}

} // namespace

// Replacing the library's set after a scan whose result differs in one track
// (same size, so the sets are compared in full).
static void replaceLibrary(benchmark::State& state)
{
    const QSet<TrackRef> first = library(state.range(0));
    QSet<TrackRef> second = first;
    second.remove(*second.cbegin());
    second.insert(TrackRef(QStringLiteral("New"), QString(), QStringLiteral("Track")));
    TrackAvailabilityIndex index;
    bool flip = false;
    for (auto _ : state) {
        index.setRefs(TrackAvailabilityIndex::localFilesSource, flip ? first : second);
        flip = !flip;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(replaceLibrary)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// A library row: one set lookup.
static void libraryRow(benchmark::State& state)
{
    const QSet<TrackRef> refs = library(100'000);
    const TrackRef row = *refs.cbegin();
    TrackAvailabilityIndex index;
    index.setRefs(TrackAvailabilityIndex::localFilesSource, refs);
    for (auto _ : state)
        benchmark::DoNotOptimize(index.availability(row));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(libraryRow);

// A playlist row outside the library whose relative hint is checked on disk.
static void hintedRow(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString playlist = folder.filePath(QStringLiteral("p.parvik"));
    const TrackRef row(QStringLiteral("Elsewhere"), QString(), QStringLiteral("Gone"));
    const QString hint = QStringLiteral("file://Sub%20Dir/missing.mp3");
    TrackAvailabilityIndex index;
    index.setRefs(TrackAvailabilityIndex::localFilesSource, library(10'000));
    for (auto _ : state)
        benchmark::DoNotOptimize(index.availability(row, hint, playlist));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(hintedRow);

BENCHMARK_MAIN();
