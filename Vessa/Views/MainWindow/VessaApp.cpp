#include "Vessa/Views/MainWindow/VessaApp.h"

#include "Vessa/App/NowPlaying/NowPlayingBridge.h"
#include "Vessa/App/System/PaintThreads.h"
#include "Vessa/App/Updates/Updater.h"
#include "Vessa/Views/Documents/DocumentController.h"
#include "Vessa/Views/Documents/PlaylistDocumentWindow.h"
#include "Vessa/Views/Equalizer/EqualizerView.h"
#include "Vessa/Views/MainWindow/AppCommands.h"
#include "Vessa/Views/MainWindow/ContentView.h"
#include "Vessa/Views/MainWindow/FailureView.h"
#include "Vessa/Views/Settings/UpdateResultDialog.h"
#include "Vessa/Views/Shared/ErrorAlert.h"
#include "Vessa/Views/Theme/AdaptiveWindowBackground.h"
#include "Vessa/Views/TrackLists/PlaylistContentView.h"
#include "VessaCore/ExceptionDescription.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QSettings>
#include <QVBoxLayout>

namespace vessa {

namespace {

constexpr QSize mainWindowSize{1000, 640};

std::unique_ptr<QSettings> standardSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("Tornwick"), QStringLiteral("Vessa"));
}

// `content` on the window's adaptive background, filling it.
AdaptiveWindowBackground* onBackground(QWidget* content, QWidget* parent)
{
    auto* background = new AdaptiveWindowBackground(parent);
    auto* layout = new QVBoxLayout(background);
    layout->setContentsMargins(0, 0, 0, 0);
    if (content)
        layout->addWidget(content);
    return background;
}

} // namespace

VessaApp::VessaApp(Options options)
    : m_makeSettings(options.makeSettings ? std::move(options.makeSettings) : standardSettings),
      m_chooseFolder(std::move(options.chooseFolder))
{
    // The updater starts before anything else, so that the update check
    // works even when the rest cannot start.
    m_updaterSettings = m_makeSettings();
    m_updater = std::make_unique<Updater>(*m_updaterSettings);
    m_updater->start();

    auto createAppState =
        options.createAppState ? std::move(options.createAppState) : [](std::unique_ptr<QSettings> settings) {
            return AppState::create(std::move(settings));
        };
    AppState::Creation creation = createAppState(m_makeSettings());
    m_appState = std::move(creation.appState);
    if (!m_appState)
        m_initError = creation.error;

    m_updateResultDialog = std::make_unique<UpdateResultDialog>(*m_updater);
    connect(m_updateResultDialog.get(), &UpdateResultDialog::failed, this, &VessaApp::reportUpdateDialogFailure);
    m_commands = std::make_unique<AppCommands>(*m_updater);
    // Document windows play through the same app state as the main window.
    PlaylistDocumentView::ContentMaker makeDocumentContent;
    if (m_appState) {
        makeDocumentContent = [state = m_appState.get()](PlaylistStorage storage, QWidget* parent) {
            return new PlaylistContentView(TrackListServices::of(*state), std::move(storage), nullptr, parent);
        };
    }
    m_documents = std::make_unique<DocumentController>(options.documentPrompts ? std::move(*options.documentPrompts)
                                                                               : DocumentPrompts::standard(),
                                                       std::move(makeDocumentContent));
    connect(m_documents.get(), &DocumentController::windowOpened, this,
            [this](PlaylistDocumentWindow* window) { m_commands->installMenus(*window); });
    connectCommands();

    if (m_appState)
        m_appState->nowPlayingBridge().setRaiseHandler([this] { showMainWindow(); });
}

VessaApp::~VessaApp()
{
    // The windows show the app state: they go before it.
    if (m_appState)
        m_appState->nowPlayingBridge().setRaiseHandler({});
    m_documents.reset();
    delete m_mainWindow.data();
    delete m_equalizerWindow.data();
    delete m_settingsWindow.data();
    m_updateResultDialog.reset();
}

void VessaApp::connectCommands()
{
    const AppCommands& commands = *m_commands;
    connect(commands.newPlaylist, &QAction::triggered, this, &VessaApp::newPlaylist);
    connect(commands.newPlaylistFile, &QAction::triggered, this, &VessaApp::newPlaylistFile);
    connect(commands.open, &QAction::triggered, this, &VessaApp::openWithDialog);
    connect(commands.save, &QAction::triggered, this, &VessaApp::saveActiveDocument);
    connect(commands.saveAs, &QAction::triggered, this, &VessaApp::saveActiveDocumentAs);
    connect(commands.close, &QAction::triggered, this, &VessaApp::closeActiveWindow);
    connect(commands.quit, &QAction::triggered, this, &VessaApp::quit);
    connect(commands.showMainWindow, &QAction::triggered, this, [this] { showMainWindow(); });
    connect(commands.showEqualizerWindow, &QAction::triggered, this, [this] { showEqualizerWindow(); });
    connect(commands.showSettingsWindow, &QAction::triggered, this, [this] { showSettingsWindow(); });
}

void VessaApp::reportUpdateDialogFailure(std::exception_ptr error)
{
    if (m_appState) {
        m_appState->scanErrors().setScanError(std::move(error));
        showMainWindow();
        return;
    }
    if (!m_updateDialogAlert)
        m_updateDialogAlert = new ErrorAlert(m_updateResultDialog.get(), tr("Error"));
    m_updateDialogAlert->show(describeException(error));
}

QMainWindow* VessaApp::makeWindow(const QString& title, const QString& name)
{
    auto* window = new QMainWindow;
    window->setWindowTitle(title);
    window->setObjectName(name);
    m_commands->installMenus(*window);
    return window;
}

void VessaApp::present(QMainWindow& window)
{
    // A window asked for before Qt's painting has its threads (at the start,
    // or by a raise over D-Bus, while the system refuses threads) waits for
    // them: painting it now could wait for good on a thread that never starts.
    PaintThreads::whenStarted(&window, [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    });
}

QMainWindow& VessaApp::showMainWindow()
{
    if (!m_mainWindow) {
        m_mainWindow = m_appState ? makeContentWindow() : makeFailureWindow();
        m_commands->installMenus(*m_mainWindow);
    }
    present(*m_mainWindow);
    return *m_mainWindow;
}

QMainWindow* VessaApp::makeFailureWindow()
{
    auto* window = new QMainWindow;
    window->setWindowTitle(tr("Vessa"));
    window->setCentralWidget(onBackground(new FailureView(m_initError), window));
    window->resize(mainWindowSize);
    return window;
}

QMainWindow* VessaApp::makeContentWindow()
{
    auto* content = new ContentView(*m_appState);
    // "New Playlist" names a new playlist in this window's sidebar.
    m_newPlaylistAction = [content] { content->createNewPlaylistInline(); };
    connect(content, &ContentView::equalizerRequested, this, [this] { showEqualizerWindow(); });
    return content;
}

QMainWindow& VessaApp::showEqualizerWindow()
{
    if (!m_equalizerWindow) {
        m_equalizerWindow = makeWindow(tr("Equalizer"), QStringLiteral("equalizerWindow"));
        QWidget* content = m_appState ? new EqualizerView(m_appState->equalizerState()) : nullptr;
        AdaptiveWindowBackground* background = onBackground(content, m_equalizerWindow);
        background->setFixedSize(EqualizerView::windowWidth, EqualizerView::windowHeight);
        m_equalizerWindow->setCentralWidget(background);
        // The window is as large as its content, and no larger.
        m_equalizerWindow->layout()->setSizeConstraint(QLayout::SetFixedSize);
    }
    present(*m_equalizerWindow);
    return *m_equalizerWindow;
}

QMainWindow& VessaApp::showSettingsWindow()
{
    if (!m_settingsWindow) {
        m_settingsWindow = makeWindow(tr("Settings"), QStringLiteral("settingsWindow"));
        QWidget* content = nullptr;
        if (m_appState) {
            content = new SettingsView(*m_appState, *m_updater, m_chooseFolder);
        } else {
            content = new QWidget;
            content->setMinimumSize(SettingsView::minimumWidth, SettingsView::minimumHeight);
        }
        m_settingsWindow->setCentralWidget(content);
        m_settingsWindow->resize(content->sizeHint().expandedTo(QSize(460, 520)));
    }
    present(*m_settingsWindow);
    return *m_settingsWindow;
}

void VessaApp::openFiles(const QStringList& paths)
{
    if (paths.isEmpty()) {
        showMainWindow();
        return;
    }
    // Their windows, or the alert that one cannot open, wait for Qt's
    // painting as present() does.
    PaintThreads::whenStarted(this, [this, paths] { m_documents->openFiles(paths); });
}

void VessaApp::newPlaylist()
{
    // Only the main window offers it.
    if (m_mainWindow && QApplication::activeWindow() == m_mainWindow.data() && m_newPlaylistAction)
        m_newPlaylistAction();
}

void VessaApp::newPlaylistFile()
{
    m_documents->newDocument();
}

void VessaApp::openWithDialog()
{
    m_documents->openWithDialog(QApplication::activeWindow());
}

void VessaApp::saveActiveDocument()
{
    if (PlaylistDocumentWindow* window = DocumentController::activeDocumentWindow())
        window->save();
}

void VessaApp::saveActiveDocumentAs()
{
    if (PlaylistDocumentWindow* window = DocumentController::activeDocumentWindow())
        window->saveAs();
}

void VessaApp::closeActiveWindow()
{
    if (QWidget* window = QApplication::activeWindow())
        window->close();
}

void VessaApp::quit()
{
    if (m_documents->closeAll())
        QCoreApplication::quit();
}

} // namespace vessa
