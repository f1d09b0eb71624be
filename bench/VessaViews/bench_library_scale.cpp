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
//
// With --four-cpus the program (and every process it starts) runs on four
// CPUs only, and times four start-ups as the `vessa` executable makes them
// (the application object, then its main window), from the exec of the
// process: the window's first paint, the longest time the main thread did not
// get round to its event loop (before the window's first paint, when nothing
// is on screen yet, and after it), and the peak resident memory (VmHWM)
// through the start-up rescan. Targets: first paint < 0.5 s, no stall over
// 100 ms after it, peak RSS <= 200 MB at 100,000 and <= 1.2 GB at 1,000,000.
// VESSA_BENCH_FIXTURES=folder keeps the libraries this mode builds there and
// reuses them in later runs (these start-ups change no file).
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "Vessa/App/AppState.h"
#include "Vessa/App/Library/WatchedDirectoriesSetting.h"
#include "Vessa/Views/MainWindow/ContentView.h"
#include "Vessa/Views/MainWindow/VessaApp.h"
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
#include <QMainWindow>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
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

// The monotonic clock, which every process reads alike.
qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
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

// Records when a main window first starts to paint.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<double()> clock) : m_clock(std::move(clock)) {}

    std::optional<double> started;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!started && event->type() == QEvent::Paint && qobject_cast<QWidget*>(watched)
            && qobject_cast<QMainWindow*>(static_cast<QWidget*>(watched)->window()))
            started = m_clock();
        return false;
    }

private:
    std::function<double()> m_clock;
};

// The start-up main.cpp makes, timed from `execNanoseconds` (on the monotonic
// clock, just before the process was started) until the list shows every
// track and the start-up rescan is over.
int fromExec(int tracks, qint64 execNanoseconds)
{
    const auto sinceExec = [execNanoseconds] { return double(monotonicNanoseconds() - execNanoseconds) / 1e6; };
    const double applicationMade = sinceExec();
    FirstPaint firstPaint(sinceExec);
    qApp->installEventFilter(&firstPaint);
    // The window shows with its first paint: each wait for the event loop
    // that ends later counts after it. Until the loop first turns, the main
    // thread has been away from it since the exec.
    double lastTick = 0;
    std::optional<double> firstTurn;
    std::optional<double> painted;
    double longestBefore = 0;
    double longestAfter = 0;
    const auto tick = [&] {
        const double now = sinceExec();
        double& longest = firstPaint.started ? longestAfter : longestBefore;
        longest = std::max(longest, now - lastTick);
        lastTick = now;
        if (!firstTurn)
            firstTurn = now;
        if (!painted && firstPaint.started)
            painted = now;
    };
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, tick);
    heartbeat.start(2);

    VessaApp::Options options;
    options.makeSettings = settings;
    VessaApp vessa(std::move(options));
    if (!vessa.appState()) {
        std::fprintf(stderr, "create failed: %s\n", qPrintable(vessa.initError().value_or(QString())));
        return 1;
    }
    const double appMade = sinceExec();
    AppState& state = *vessa.appState();
    auto* window = qobject_cast<ContentView*>(&vessa.showMainWindow());
    const double windowShown = sinceExec();
    waitUntil([&] {
        const TrackListView* list = window ? shownList(*window) : nullptr;
        return list && list->table()->model()->rowCount() == tracks && !state.isScanning();
    });
    tick();
    heartbeat.stop();
    std::printf("first paint of the window   %8.1f ms after exec   (target < 500 ms)\n", painted.value_or(-1));
    std::printf("longest main-thread stall   %8.1f ms from exec; %.1f ms after the window showed   (target < 100 ms)\n",
                std::max(longestBefore, longestAfter), longestAfter);
    std::printf("  on the way                QApplication %.0f ms, VessaApp %.0f, window shown %.0f, event loop %.0f,"
                " paint started %.0f, painted %.0f\n",
                applicationMade, appMade, windowShown, firstTurn.value_or(-1), firstPaint.started.value_or(-1),
                painted.value_or(-1));
    std::printf("peak RSS through the rescan %8.1f MB (VmHWM)   (target <= %d MB)\n", bench::peakResidentMegabytes(),
                tracks >= 1'000'000 ? 1200 : 200);
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

int runChild(const QString& mode, int tracks, const char* extra)
{
    if (mode == QLatin1String("--exec"))
        return fromExec(tracks, extra ? std::atoll(extra) : monotonicNanoseconds());
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

// Keeps this process and its children to the first four CPUs it may use;
// their numbers, or an empty list when it cannot.
QList<int> useFourCpus()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return {};
    cpu_set_t four;
    CPU_ZERO(&four);
    QList<int> cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE && cpus.size() < 4; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &four);
            cpus.append(cpu);
        }
    }
    if (cpus.size() < 4 || sched_setaffinity(0, sizeof four, &four) != 0)
        return {};
    return cpus;
}

// A child process of this program over the library in `home`.
class Child {
public:
    explicit Child(const QString& home) : m_environment(QProcessEnvironment::systemEnvironment())
    {
        m_environment.insert(QStringLiteral("HOME"), home);
        m_environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false;*.info=false"));
        m_environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        m_environment.remove(QStringLiteral("XDG_DATA_HOME"));
    }

    bool run(const char* mode, int tracks)
    {
        std::fflush(stdout);
        QProcess child;
        child.setProcessEnvironment(m_environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        QStringList arguments{QString::fromLatin1(mode), QString::number(tracks)};
        if (std::strcmp(mode, "--exec") == 0)
            arguments.append(QString::number(monotonicNanoseconds()));
        child.start(QCoreApplication::applicationFilePath(), arguments);
        return child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    }

private:
    QProcessEnvironment m_environment;
};

int startUpsOnFourCpus(const QList<int>& sizes)
{
    const QList<int> cpus = useFourCpus();
    if (cpus.isEmpty()) {
        std::fprintf(stderr, "cannot keep to four CPUs\n");
        return 1;
    }
    std::printf("CPUs %d, %d, %d and %d\n", cpus[0], cpus[1], cpus[2], cpus[3]);
    const QString fixtures = qEnvironmentVariable("VESSA_BENCH_FIXTURES");
    for (const int tracks : sizes) {
        QTemporaryDir temporary;
        const QString home =
            fixtures.isEmpty() ? temporary.path() : fixtures + QStringLiteral("/library-") + QString::number(tracks);
        // A library is complete once its mark is written.
        const QString mark = home + QStringLiteral("/prepared");
        Child child(home);
        std::printf("== %d tracks, all tags different\n", tracks);
        if (!QFile::exists(mark)) {
            QDir().mkpath(home);
            if (!child.run("--prepare", tracks) || !QFile(mark).open(QIODevice::WriteOnly))
                return 1;
        }
        for (int i = 1; i <= 4; ++i) {
            std::printf("-- start-up %d\n", i);
            if (!child.run("--exec", tracks))
                return 1;
        }
    }
    return 0;
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
        return runChild(QString::fromLatin1(argv[1]), std::atoi(argv[2]), argc > 3 ? argv[3] : nullptr);
    }

    QCoreApplication application(argc, argv);
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly))
        std::printf("load average: %s", loadAverage.readAll().constData());
    QList<int> sizes{100'000};
    if (qEnvironmentVariableIsSet("VESSA_BENCH_LARGE"))
        sizes.append(1'000'000);
    if (argc > 1 && std::strcmp(argv[1], "--four-cpus") == 0)
        return startUpsOnFourCpus(sizes);
    for (const int tracks : sizes) {
        // HOME points at a temporary folder: the database, the settings and
        // the music all land there.
        QTemporaryDir home;
        Child child(home.path());
        const auto run = [&](const char* mode) { return child.run(mode, tracks); };
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
