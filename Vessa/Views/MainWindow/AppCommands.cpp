#include "Vessa/Views/MainWindow/AppCommands.h"

#include "Vessa/App/Updates/Updater.h"
#include "Vessa/Views/Documents/DocumentController.h"

#include <QAction>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>

namespace vessa {

AppCommands::AppCommands(Updater& updater, QObject* parent)
    : QObject(parent),
      newPlaylist(makeAction(tr("New Playlist"), QStringLiteral("Ctrl+N"), QStringLiteral("newPlaylist"))),
      newPlaylistFile(
          makeAction(tr("New Playlist File"), QStringLiteral("Ctrl+Shift+N"), QStringLiteral("newPlaylistFile"))),
      open(makeAction(tr("Open..."), QStringLiteral("Ctrl+O"), QStringLiteral("open"))),
      save(makeAction(tr("Save"), QStringLiteral("Ctrl+S"), QStringLiteral("save"))),
      saveAs(makeAction(tr("Save As..."), QStringLiteral("Ctrl+Shift+S"), QStringLiteral("saveAs"))),
      close(makeAction(tr("Close"), QStringLiteral("Ctrl+W"), QStringLiteral("close"))),
      quit(makeAction(tr("Quit"), QStringLiteral("Ctrl+Q"), QStringLiteral("quit"))),
      showMainWindow(makeAction(tr("Vessa"), QStringLiteral("Ctrl+1"), QStringLiteral("showMainWindow"))),
      showEqualizerWindow(makeAction(tr("Equalizer"), QStringLiteral("Ctrl+2"), QStringLiteral("showEqualizerWindow"))),
      showSettingsWindow(makeAction(tr("Settings"), QStringLiteral("Ctrl+,"), QStringLiteral("showSettingsWindow"))),
      checkForUpdates(makeAction(tr("Check for Updates..."), QString(), QStringLiteral("checkForUpdates")))
{
    quit->setMenuRole(QAction::QuitRole);
    showSettingsWindow->setMenuRole(QAction::PreferencesRole);

    // The updater's readiness, the current value at once, then every change.
    const auto followUpdater = [this, &updater] { checkForUpdates->setEnabled(updater.canCheckForUpdates()); };
    followUpdater();
    connect(&updater, &Updater::canCheckForUpdatesChanged, this, followUpdater);
    connect(checkForUpdates, &QAction::triggered, &updater, &Updater::checkForUpdates);

    activeWindowChanged();
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::focusWindowChanged, this, &AppCommands::activeWindowChanged);
}

QAction* AppCommands::makeAction(const QString& text, const QString& shortcut, const QString& name)
{
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(QKeySequence(shortcut));
    return action;
}

void AppCommands::activeWindowChanged()
{
    const bool document = DocumentController::activeDocumentWindow() != nullptr;
    save->setEnabled(document);
    saveAs->setEnabled(document);
}

void AppCommands::installMenus(QMainWindow& window) const
{
    QMenuBar* bar = window.menuBar();
    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    file->addAction(newPlaylist);
    file->addAction(newPlaylistFile);
    file->addSeparator();
    file->addAction(open);
    file->addSeparator();
    file->addAction(save);
    file->addAction(saveAs);
    file->addSeparator();
    file->addAction(close);
    file->addAction(quit);

    QMenu* windowMenu = bar->addMenu(tr("&Window"));
    windowMenu->setObjectName(QStringLiteral("windowMenu"));
    windowMenu->addAction(showMainWindow);
    windowMenu->addAction(showEqualizerWindow);
    windowMenu->addSeparator();
    windowMenu->addAction(showSettingsWindow);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    help->addAction(checkForUpdates);
}

} // namespace vessa
