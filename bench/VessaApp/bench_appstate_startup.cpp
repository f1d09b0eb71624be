// Start-up of the app state over a library of 100,000 tracks: from
// AppState::create() to the library published as scannedTracks (the reload
// the main window asks for when it first appears), and the memory the
// process holds afterwards. Target: under 1 second and under 150 MB.
//
// The database is built by a first run of this program; the measurement
// runs in a fresh process, so that building the rows does not count.
#include "RaskoLocalFile/MediaDatabase.h"
#include "Vessa/App/AppState.h"
#include "VessaCore/FreedMemory.h"
#include "bench/support/ResidentMemory.h"
#include "bench/support/SyntheticLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace vessa;

namespace {

constexpr int libraryRows = 100'000;

int prepare()
{
    MediaDatabase database(AppState::databasePath());
    bench::fillSyntheticLibrary(database, libraryRows, 5000);
    return 0;
}

int measure(const QString& settingsFile)
{
    const double baseline = bench::residentMegabytes();
    QElapsedTimer timer;
    timer.start();
    AppState::Creation creation = AppState::create(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat));
    if (!creation.appState) {
        std::fprintf(stderr, "create failed: %s\n", qPrintable(creation.error));
        return 1;
    }
    const qint64 created = timer.nsecsElapsed();
    AppState& state = *creation.appState;
    // The longest time the main thread did not get round to its event loop
    // while the library loaded: what a window would freeze for.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    heartbeat.start(1);
    sinceTick.start();
    QEventLoop loop;
    QObject::connect(&state, &AppState::scannedTracksChanged, &loop, &QEventLoop::quit);
    state.reloadTracksFromDatabase();
    loop.exec();
    const qint64 published = timer.nsecsElapsed();
    longestPause = std::max(longestPause, sinceTick.nsecsElapsed());
    std::printf("tracks published            %lld\n", static_cast<long long>(state.scannedTracks().size()));
    std::printf("AppState::create            %8.1f ms\n", created / 1e6);
    std::printf("create to scannedTracks     %8.1f ms   (target < 1000 ms)\n", published / 1e6);
    std::printf("longest main-thread pause   %8.1f ms\n", longestPause / 1e6);
    std::printf("RSS before create           %8.1f MB\n", baseline);
    std::printf("RSS with the library loaded %8.1f MB   (target < 150 MB)\n", bench::residentMegabytes());
    return state.scannedTracks().size() == libraryRows ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // As the program sets it.
    FreedMemory::setAllocatorPolicy();
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    if (argc > 2 && std::strcmp(argv[1], "--prepare") == 0)
        return prepare();
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0)
        return measure(QString::fromLocal8Bit(argv[2]));

    // HOME points at a temporary folder, so the database lands there.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false;*.info=false"));
    const auto run = [&](const QStringList& arguments) {
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), arguments);
        return child.waitForFinished(600000) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    };
    const QString settings = home.filePath(QStringLiteral("settings.ini"));
    std::printf("Building a media database of %d tracks...\n", libraryRows);
    std::fflush(stdout);
    if (!run({QStringLiteral("--prepare"), settings}))
        return 1;
    for (int i = 1; i <= 3; ++i) {
        std::printf("run %d\n", i);
        std::fflush(stdout);
        if (!run({QStringLiteral("--measure"), settings}))
            return 1;
    }
    return 0;
}
