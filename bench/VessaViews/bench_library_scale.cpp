// The whole program over a large library whose tags are all different: the
// main window, shown offscreen, on a media database of N tracks with a
// matching WAV file for each (100,000 tracks; 1,000,000 as well with
// VESSA_BENCH_LARGE=1). Each measurement runs in a fresh process:
//
// - start-up: from the start of the process to the populated list painted,
//   the longest time the main thread did not get round to its event loop on
//   the way, resident memory once the start-up rescan has settled and the
//   most it reached up to then, the heap per track, then filter keystrokes
//   and header clicks on the shown list;
// - the loaded library alone: heap per track (uordblks + hblkhd) of the list
//   the database reads;
// - rescans (100,000 tracks only): resident memory after each of six rescans
//   that find nothing, then of six that each find 1% of the files rewritten.
//
// Targets: RSS <= 150 MB at 100,000 and <= 1 GB at 1,000,000, at its peak
// <= 190 MB (200 million bytes) and <= 1144 MB (1.2 billion); list on screen
// < 0.5 s / < 5 s with no stall over 100 ms; a keystroke < 16 ms / < 50 ms;
// a header click < 100 ms at 1,000,000; <= 600 bytes per loaded track; RSS
// flat within 10% over the rescans.
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "Vessa/App/AppState.h"
#include "Vessa/App/Library/WatchedDirectoriesSetting.h"
#include "Vessa/Views/MainWindow/ContentView.h"
#include "Vessa/Views/TrackLists/TrackListModel.h"
#include "Vessa/Views/TrackLists/TrackListView.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableModel.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"
#include "VessaCore/FreedMemory.h"
#include "bench/support/ResidentMemory.h"
#include "bench/support/SyntheticLibrary.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

using namespace vessa;

namespace {

QElapsedTimer sinceStart;

// Heap in use, counting the chunks malloc maps on their own.
double heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

QString musicFolder()
{
    return QDir::homePath() + QStringLiteral("/Music");
}

std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QDir::homePath() + QStringLiteral("/settings.ini"), QSettings::IniFormat);
}

// Runs the event loop until `done` holds (checked every few milliseconds).
void waitUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(5);
    if (!done())
        loop.exec();
}

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

int prepare(int tracks)
{
    MediaDatabase database(AppState::databasePath());
    QList<MediaDatabase::TrackRow> batch;
    for (int i = 0; i < tracks; ++i) {
        batch.append(bench::uniqueRow(musicFolder(), i));
        if (!bench::writeUniqueFile(batch.last()))
            return 1;
        if (batch.size() == 5000 || i == tracks - 1) {
            database.upsert(batch);
            batch.clear();
        }
    }
    WatchedDirectoriesSetting::save(*settings(), {musicFolder()});
    return 0;
}

int loadedLibrary(int tracks)
{
    auto database = std::make_shared<MediaDatabase>(AppState::databasePath());
    LocalFileSourcePlugin source(database, nullptr, {}, {});
    malloc_trim(0);
    const double before = heapBytes();
    const QList<ScannedTrack> library = source.allTracksFromDatabase();
    malloc_trim(0);
    const double after = heapBytes();
    std::printf("loaded library              %8.0f bytes per track   (target <= 600)\n", (after - before) / tracks);
    return library.size() == tracks ? 0 : 1;
}

struct Times {
    std::vector<double> values;

    void measure(const std::function<void()>& work)
    {
        QElapsedTimer timer;
        timer.start();
        work();
        values.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    void print(const char* what, double target) const
    {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-28s median %6.1f ms, slowest %6.1f ms   (target < %.0f ms)\n", what, sorted[sorted.size() / 2],
                    sorted.back(), target);
    }
};

TrackListView* shownList(ContentView& window)
{
    TrackListView* list = window.findChild<TrackListView*>();
    return list && list->isVisible() ? list : nullptr;
}

int startUp(int tracks)
{
    const bool large = tracks >= 1'000'000;
    AppState::Creation creation = AppState::create(settings());
    if (!creation.appState) {
        std::fprintf(stderr, "create failed: %s\n", qPrintable(creation.error));
        return 1;
    }
    AppState& state = *creation.appState;
    ContentView window(state);
    window.resize(1200, 800);

    // The longest time between two turns of the event loop until the list is shown.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    heartbeat.start(2);
    sinceTick.start();
    window.show();
    TrackListView* list = nullptr;
    waitUntil([&] {
        list = shownList(window);
        return list && list->table()->model()->rowCount() == tracks;
    });
    list->table()->view()->viewport()->repaint();
    const double shown = double(sinceStart.nsecsElapsed()) / 1e6;
    heartbeat.stop();
    longestStall = std::max(longestStall, sinceTick.nsecsElapsed());

    // The start-up rescan finds nothing new; memory is read once it and the
    // list's sort and search keys are over.
    waitUntil([&] { return !state.isScanning() && !list->model().keysPending(); });
    settle(500);
    std::printf("list on screen              %8.1f ms   (target < %d ms)\n", shown, large ? 5000 : 500);
    std::printf("longest main-thread stall   %8.1f ms   (target < 100 ms)\n", double(longestStall) / 1e6);
    std::printf("RSS settled                 %8.1f MB   (target <= %d MB)\n", bench::residentMegabytes(),
                large ? 1000 : 150);
    std::printf("RSS peak (VmHWM) with rescan %7.1f MB   (target <= %d MB)\n", bench::peakResidentMegabytes(),
                large ? 1144 : 190);
    std::printf("heap per track, whole app   %8.0f bytes\n", heapBytes() / tracks);

    Times keystrokes;
    const QStringList typed{"q", "qu", "qui", "quie", "quiet", "quiet 1", "quiet 12", "quiet 1", "",
                            "7", "77", "777", "",     "RIVER", "zz",      "",         "take",    ""};
    for (const QString& text : typed)
        keystrokes.measure([&] {
            list->model().setSearchText(text);
            list->table()->view()->viewport()->repaint();
        });
    keystrokes.print("filter keystroke", large ? 50 : 16);
    for (const char* key : {"title", "artist", "album", "time", "index"}) {
        Times sort;
        for (int run = 0; run < 4; ++run)
            sort.measure([&] {
                list->model().setSort(QString::fromLatin1(key), run % 2 == 0);
                list->table()->view()->viewport()->repaint();
            });
        sort.print(qPrintable(QStringLiteral("header click: %1").arg(QLatin1String(key))), 100);
    }
    return 0;
}

int rescans(int tracks)
{
    AppState::Creation creation = AppState::create(settings());
    if (!creation.appState)
        return 1;
    AppState& state = *creation.appState;
    ContentView window(state);
    window.resize(1200, 800);
    window.show();
    waitUntil([&] {
        const TrackListView* list = shownList(window);
        return list && list->table()->model()->rowCount() == tracks && !state.isScanning();
    });
    const auto rescan = [&](const char* what, int round) {
        state.rescanAll();
        waitUntil([&] { return !state.isScanning(); });
        // The folder watcher's batch for the rewritten files comes after
        // its quiet time, and the list is prepared after that.
        settle(int(LocalFileSourcePlugin::watchDebounceInterval * 1000) + 1500);
        std::printf("%-30s %d: RSS %7.1f MB, heap %7.1f MB\n", what, round, bench::residentMegabytes(),
                    heapBytes() / 1048576);
        std::fflush(stdout);
    };
    std::printf("RSS with the list shown         : %7.1f MB\n", bench::residentMegabytes());
    for (int round = 1; round <= 6; ++round)
        rescan("rescan finding nothing", round);
    for (int round = 1; round <= 6; ++round) {
        // A different 1% of the files each round, with new titles and dates.
        for (int i = round; i < tracks; i += 100) {
            if (!bench::writeUniqueFile(bench::uniqueRow(musicFolder(), i, round)))
                return 1;
        }
        rescan("rescan finding 1% changed", round);
    }
    return 0;
}

int runChild(const QString& mode, int tracks)
{
    if (mode == QLatin1String("--prepare"))
        return prepare(tracks);
    if (mode == QLatin1String("--library"))
        return loadedLibrary(tracks);
    if (mode == QLatin1String("--window"))
        return startUp(tracks);
    if (mode == QLatin1String("--rescans"))
        return rescans(tracks);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    sinceStart.start();
    // As the program sets it.
    FreedMemory::setAllocatorPolicy();
    if (argc > 2) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        QStandardPaths::setTestModeEnabled(true);
        return runChild(QString::fromLatin1(argv[1]), std::atoi(argv[2]));
    }

    QCoreApplication application(argc, argv);
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly))
        std::printf("load average: %s", loadAverage.readAll().constData());
    QList<int> sizes{100'000};
    if (qEnvironmentVariableIsSet("VESSA_BENCH_LARGE"))
        sizes.append(1'000'000);
    for (const int tracks : sizes) {
        // HOME points at a temporary folder: the database, the settings and
        // the music all land there.
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false;*.info=false"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        const auto run = [&](const char* mode) {
            std::fflush(stdout);
            QProcess child;
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode), QString::number(tracks)});
            return child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
        };
        std::printf("== %d tracks, all tags different\n", tracks);
        if (!run("--prepare") || !run("--library"))
            return 1;
        for (int i = 1; i <= 2; ++i) {
            std::printf("-- start-up %d\n", i);
            if (!run("--window"))
                return 1;
        }
        if (tracks <= 100'000 && !run("--rescans"))
            return 1;
    }
    return 0;
}
