#pragma once

#include "Vessa/App/AppState.h"
#include "Vessa/Views/Documents/DocumentPrompts.h"
#include "Vessa/Views/Settings/SettingsView.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace vessa {

class AppCommands;
class DocumentController;
class ErrorAlert;
class UpdateResultDialog;
class Updater;

// The application object: builds the updater (started first, whatever
// happens next), the one AppState, and the windows: the main window "Vessa",
// the "Equalizer" and "Settings" windows (one each, made when first asked
// for and brought to the front when asked again) and the playlist document
// windows. Every window gets the same menus (AppCommands).
//
// When the app state cannot be built the main window shows why ("Failed to
// initialize" and the error), the Equalizer and Settings windows are empty,
// document windows say "Application not initialized", and the update check
// still works.
//
// Threads: main thread only; needs a QApplication.
class VessaApp : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The settings store; each call makes a new handle on it. Default:
        // QSettings("Tornwick", "Vessa").
        std::function<std::unique_ptr<QSettings>()> makeSettings;
        // Builds the app state over its settings. Default: AppState::create.
        std::function<AppState::Creation(std::unique_ptr<QSettings>)> createAppState;
        // The document windows' questions. Default: file dialogs and a message box.
        std::optional<DocumentPrompts> documentPrompts;
        // The Settings window's folder dialog. Default: the desktop's.
        SettingsView::FolderChooser chooseFolder;
    };

    explicit VessaApp(Options options = {});
    ~VessaApp() override;

    Updater& updater() const { return *m_updater; }
    // Null when it could not be built.
    AppState* appState() const { return m_appState.get(); }
    // Why the app state could not be built; nothing when it was.
    const std::optional<QString>& initError() const { return m_initError; }
    AppCommands& commands() const { return *m_commands; }
    DocumentController& documents() const { return *m_documents; }
    UpdateResultDialog& updateResultDialog() const { return *m_updateResultDialog; }

    // Each makes its window when first asked for, then shows it and brings it
    // to the front (once Qt's painting has a thread: see PaintThreads).
    QMainWindow& showMainWindow();
    QMainWindow& showEqualizerWindow();
    QMainWindow& showSettingsWindow();
    // The windows made so far; null before.
    QMainWindow* mainWindow() const { return m_mainWindow.data(); }
    QMainWindow* equalizerWindow() const { return m_equalizerWindow.data(); }
    QMainWindow* settingsWindow() const { return m_settingsWindow.data(); }

    // Opens playlist files (the command line, the file manager, another
    // start of the program) once Qt's painting has a thread; no files brings
    // the main window to the front.
    void openFiles(const QStringList& paths);

    // What "New Playlist" runs while the main window is active; the main
    // window's content sets it. Empty: the command does nothing.
    void setNewPlaylistAction(std::function<void()> action) { m_newPlaylistAction = std::move(action); }

    // The menu commands.
    void newPlaylist();
    void newPlaylistFile();
    void openWithDialog();
    void saveActiveDocument();
    void saveActiveDocumentAs();
    void closeActiveWindow();
    // Closes the document windows (each asks about unsaved changes) and
    // quits, unless the user keeps one open.
    void quit();

private:
    QMainWindow* makeWindow(const QString& title, const QString& name);
    QMainWindow* makeContentWindow();
    QMainWindow* makeFailureWindow();
    void connectCommands();
    // Shows a failure of the update dialog in the main window's "Error"
    // alert; without an app state, in an alert of the dialog's own.
    void reportUpdateDialogFailure(std::exception_ptr error);
    static void present(QMainWindow& window);

    std::function<std::unique_ptr<QSettings>()> m_makeSettings;
    SettingsView::FolderChooser m_chooseFolder;
    std::unique_ptr<QSettings> m_updaterSettings;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<AppState> m_appState;
    std::optional<QString> m_initError;
    std::unique_ptr<UpdateResultDialog> m_updateResultDialog;
    ErrorAlert* m_updateDialogAlert = nullptr;
    std::unique_ptr<AppCommands> m_commands;
    std::unique_ptr<DocumentController> m_documents;
    QPointer<QMainWindow> m_mainWindow;
    QPointer<QMainWindow> m_equalizerWindow;
    QPointer<QMainWindow> m_settingsWindow;
    std::function<void()> m_newPlaylistAction;
};

} // namespace vessa
