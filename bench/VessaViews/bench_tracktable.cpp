// The track table with a large library: handing it 100,000 rows and
// repainting what is visible must stay under 50 ms, and scrolling a page
// under 16 ms (one frame). Runs on the offscreen platform unless another is
// chosen; each figure is printed with its target.
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"

#include <QApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <memory>

using namespace vessa;

namespace {

constexpr int libraryRows = 100000;

TrackRows libraryOf(int count, int firstTrack = 0)
{
    TrackRows rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int track = firstTrack + i;
        TrackRow row;
        row.ref = TrackRef(QStringLiteral("Artist %1").arg(track / 120), QStringLiteral("Album %1").arg(track / 12),
                           QStringLiteral("Track %1").arg(track), 180 + track % 300);
        row.id = TrackRowId(row.ref);
        row.index = track;
        row.title = row.ref.track();
        row.artist = row.ref.artist();
        row.album = row.ref.album();
        row.duration = double(180 + track % 300);
        row.trackNumberDisplay = QString::number(track % 12 + 1);
        rows.append(row);
    }
    return rows;
}

TrackRows reversed(TrackRows rows)
{
    std::reverse(rows.begin(), rows.end());
    return rows;
}

std::unique_ptr<TrackTable> shownTable()
{
    auto table = std::make_unique<TrackTable>(
        TrackTableConfiguration{.showTrackNumberColumn = true, .sortable = true, .reorderable = true});
    table->resize(1000, 800);
    table->show();
    QCoreApplication::processEvents();
    return table;
}

void repaintVisibleRows(TrackTable& table)
{
    table.view()->viewport()->repaint();
}

// Alternates between two row lists, so that every iteration is a real change.
void runSetRows(benchmark::State& state, const TrackRows& first, const TrackRows& second, TrackSelection selection)
{
    auto table = shownTable();
    table->setSelectedIds(std::move(selection));
    table->setRows(second);
    bool useFirst = true;
    for (auto _ : state) {
        table->setRows(useFirst ? first : second);
        repaintVisibleRows(*table);
        useFirst = !useFirst;
    }
    state.SetLabel("target: model update and repaint < 50 ms");
}

void setRowsFromEmpty(benchmark::State& state)
{
    // The first load of the library.
    const TrackRows rows = libraryOf(libraryRows);
    auto table = shownTable();
    for (auto _ : state) {
        table->setRows(rows);
        repaintVisibleRows(*table);
        state.PauseTiming();
        table->setRows({});
        state.ResumeTiming();
    }
    state.SetLabel("target: model update and repaint < 50 ms");
}
BENCHMARK(setRowsFromEmpty)->Unit(benchmark::kMillisecond);

void setRowsResorted(benchmark::State& state)
{
    // Same count, every row moved: compared row by row, refreshed in place.
    const TrackRows rows = libraryOf(libraryRows);
    runSetRows(state, rows, reversed(rows), {});
}
BENCHMARK(setRowsResorted)->Unit(benchmark::kMillisecond);

void setRowsResortedWithSelection(benchmark::State& state)
{
    const TrackRows rows = libraryOf(libraryRows);
    TrackSelection selection;
    for (int i = 0; i < libraryRows; i += 1000)
        selection.insert(rows[i].id);
    runSetRows(state, rows, reversed(rows), selection);
}
BENCHMARK(setRowsResortedWithSelection)->Unit(benchmark::kMillisecond);

void setRowsGrown(benchmark::State& state)
{
    // More than 200 rows more: a reset without comparing.
    runSetRows(state, libraryOf(libraryRows), libraryOf(libraryRows + 300), {});
}
BENCHMARK(setRowsGrown)->Unit(benchmark::kMillisecond);

void setRowsUnchanged(benchmark::State& state)
{
    // The owner rebuilt identical rows (a selection or playback tick).
    const TrackRows rows = libraryOf(libraryRows);
    runSetRows(state, rows, rows, {});
}
BENCHMARK(setRowsUnchanged)->Unit(benchmark::kMillisecond);

void scrollOnePage(benchmark::State& state)
{
    auto table = shownTable();
    table->setRows(libraryOf(libraryRows));
    QScrollBar* scrollBar = table->view()->verticalScrollBar();
    for (auto _ : state) {
        if (scrollBar->value() >= scrollBar->maximum())
            scrollBar->setValue(0);
        scrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        repaintVisibleRows(*table);
    }
    state.SetLabel("target: < 16 ms");
}
BENCHMARK(scrollOnePage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
