#include "Vessa/App/System/PaintThreads.h"
#include "Vessa/App/System/SingleInstance.h"
#include "Vessa/Views/MainWindow/VessaApp.h"
#include "VessaCore/FreedMemory.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

// The files named on the command line, as absolute paths: another running
// program resolves them against its own working folder otherwise. The file
// manager may hand over file URLs as well as paths.
QStringList absolutePaths(const QStringList& arguments)
{
    QStringList paths;
    for (const QString& argument : arguments) {
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        paths.append(QFileInfo(path).absoluteFilePath());
    }
    return paths;
}

// The program's windows until it quits; its exit code.
int runWindows(const QString& serverName, const QStringList& paths)
{
    vessa::VessaApp vessa;
    vessa::SingleInstance instance(serverName);
    QObject::connect(&instance, &vessa::SingleInstance::pathsReceived, &vessa, &vessa::VessaApp::openFiles);
    instance.listen();

    // The windows wait until Qt's painting has its threads, which start once
    // the app state has opened the session bus (on a thread of Qt's).
    vessa.showMainWindow();
    if (!paths.isEmpty())
        vessa.openFiles(paths);
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    // Before any thread starts: the allocator's policy is the program's.
    vessa::FreedMemory::setAllocatorPolicy();
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tornwick"));
    QApplication::setApplicationName(QStringLiteral("Vessa"));
    QApplication::setApplicationVersion(QStringLiteral(VESSA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("vessa"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Vessa, a music player"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Playlist files to open."),
                                 QStringLiteral("[files...]"));
    parser.process(application);
    const QStringList paths = absolutePaths(parser.positionalArguments());

    // A program already running opens the files itself.
    const QString serverName = vessa::SingleInstance::defaultServerName();
    if (vessa::SingleInstance::forward(serverName, paths))
        return 0;

    const int exitCode = runWindows(serverName, paths);
    // Everything is saved; the application object is all that is left.
    vessa::PaintThreads::exitIfAnyNeverStarted(exitCode);
    return exitCode;
}
