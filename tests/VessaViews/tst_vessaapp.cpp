#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/Library/WatchedDirectoriesSetting.h"
#include "Vessa/App/NowPlaying/NowPlayingBridge.h"
#include "Vessa/Views/Documents/DocumentController.h"
#include "Vessa/Views/Documents/PlaylistDocumentView.h"
#include "Vessa/Views/Documents/PlaylistDocumentWindow.h"
#include "Vessa/Views/Equalizer/EqualizerView.h"
#include "Vessa/Views/MainWindow/AppCommands.h"
#include "Vessa/Views/MainWindow/ContentView.h"
#include "Vessa/Views/MainWindow/FailureView.h"
#include "Vessa/Views/Settings/SettingsView.h"
#include "Vessa/Views/Settings/UpdateResultDialog.h"
#include "Vessa/Views/Shared/DesktopOpenError.h"
#include "Vessa/Views/Shared/ErrorAlert.h"
#include "VessaCore/ThreadStart.h"
#include "tests/VessaViews/VessaAppRig.h"
#include "tests/support/FileFixture.h"
#include "tests/support/HeldHttpServer.h"
#include "tests/support/RefusedThreads.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>

#include <optional>

using namespace vessa;

namespace {

QStringList labelTexts(const QWidget& widget)
{
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}

QStringList menuTitles(QMainWindow& window)
{
    QStringList titles;
    for (QAction* action : window.menuBar()->actions())
        titles << action->text();
    return titles;
}

QStringList menuItems(QMainWindow& window, const QString& menu)
{
    QStringList items;
    for (QAction* action : window.menuBar()->findChild<QMenu*>(menu)->actions())
        if (!action->isSeparator())
            items << action->text() + u'|' + action->shortcut().toString();
    return items;
}

bool activate(QWidget& window)
{
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

} // namespace

class VessaAppTest : public QObject {
    Q_OBJECT

private slots:
    void failingAppStateShowsTheFailureView_data()
    {
        QTest::addColumn<QString>("error");
        QTest::newRow("database") << "The media database could not be opened: unable to open database file";
        QTest::newRow("empty text") << "";
    }

    void failingAppStateShowsTheFailureView()
    {
        QFETCH(QString, error);
        test::VessaAppRig rig;
        rig.failure = error;
        std::unique_ptr<VessaApp> app = rig.make();

        QVERIFY(app->appState() == nullptr);
        QMainWindow& main = app->showMainWindow();
        QCOMPARE(main.windowTitle(), QString("Vessa"));
        auto* failure = main.findChild<FailureView*>();
        QVERIFY(failure);
        QStringList expected{"Failed to initialize"};
        if (!error.isEmpty())
            expected << error;
        QCOMPARE(labelTexts(*failure), expected);
        QVERIFY(QDir().mkpath("artefacts"));
        QVERIFY(
            main.grab().save(QString("artefacts/failure-view-%1.png").arg(QTest::currentDataTag()).replace(' ', '-')));

        // The other windows are empty; documents cannot be shown.
        QVERIFY(app->showEqualizerWindow().findChild<EqualizerView*>() == nullptr);
        QVERIFY(app->showSettingsWindow().findChild<SettingsView*>() == nullptr);
        PlaylistDocumentWindow* document = app->documents().newDocument();
        QCOMPARE(labelTexts(document->view()), QStringList{"Application not initialized"});
        QVERIFY(document->view().content() == nullptr);

        // The update check keeps working; what its dialog cannot open, it says itself.
        QVERIFY(app->updater().canCheckForUpdates());
        QVERIFY(app->commands().checkForUpdates->isEnabled());
        app->updateResultDialog().show();
        emit app->updateResultDialog().failed(std::make_exception_ptr(DesktopOpenError::webPage("https://x.org/")));
        QTRY_VERIFY(app->updateResultDialog().findChild<QWidget*>("ErrorAlert")->isVisible());
    }

    void whatTheUpdateDialogCannotOpenIsSaidInTheMainWindow()
    {
        test::VessaAppRig rig;
        std::unique_ptr<VessaApp> app = rig.make();
        emit app->updateResultDialog().failed(std::make_exception_ptr(DesktopOpenError::webPage("https://x.org/")));
        auto* main = qobject_cast<ContentView*>(app->mainWindow());
        QVERIFY(main && main->isVisible());
        QTRY_VERIFY(main->errorAlert()->isShown());
        QCOMPARE(main->errorAlert()->box()->text(),
                 "Could not open https://x.org/: no application on this system opens web pages.");
    }

    void aDatabaseThatCannotOpenShowsItsError()
    {
        test::VessaAppRig rig;
        // A file where the database's folder belongs.
        const QString folder = QFileInfo(AppState::databasePath()).absolutePath();
        test::writeFile(folder, {});

        std::unique_ptr<VessaApp> app = rig.make();
        QVERIFY(app->appState() == nullptr);
        QVERIFY(app->initError());
        QVERIFY(!app->initError()->isEmpty());
        QStringList texts = labelTexts(*app->showMainWindow().findChild<FailureView*>());
        QCOMPARE(texts, (QStringList{"Failed to initialize", *app->initError()}));
        QVERIFY(app->updater().canCheckForUpdates());
    }

    void aSetAsideIndexIsToldInTheErrorAlert_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("forgotten");
        QTest::newRow("OK") << "OK" << true;
        QTest::newRow("Escape") << "Escape" << true;
        // What a quit does (Ctrl+Q, SIGTERM, the session ending): told again.
        QTest::newRow("closed at quit") << "quit" << false;
    }
    void aSetAsideIndexIsToldInTheErrorAlert()
    {
        QFETCH(QString, end);
        QFETCH(bool, forgotten);
        test::VessaAppRig rig;
        test::writeFile(AppState::databasePath(), "not a database");
        WatchedDirectoriesSetting::save(*rig.settings(), {rig.folder("a")});
        std::unique_ptr<VessaApp> app = rig.make();
        QVERIFY(app->appState());
        // The box waits for its window to be on the screen, then comes above
        // it, active; the start-up scan of the shown window leaves it up.
        auto* main = qobject_cast<ContentView*>(&app->showMainWindow());
        QVERIFY(main && !main->errorAlert()->isShown());
        QTRY_VERIFY(main->errorAlert()->isShown());
        QMessageBox* box = main->errorAlert()->box();
        QTRY_COMPARE(QApplication::activeWindow(), box);
        QTRY_VERIFY(!app->appState()->isScanning());
        QVERIFY(box->isVisible());
        QVERIFY2(box->text().contains(AppState::databasePath() + " is damaged")
                     && box->text().contains(AppState::databasePath() + ".damaged-"),
                 qPrintable(box->text()));
        // Kept for the next start until the user's "OK".
        QVERIFY(app->appState()->settings().contains(AppState::startupNoticeKey));
        if (end == "OK")
            box->button(QMessageBox::Ok)->click();
        else if (end == "Escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else
            QApplication::closeAllWindows();
        QTRY_VERIFY(!box->isVisible());
        QVERIFY(!app->appState()->scanErrors().scanError());
        QCOMPARE(app->appState()->settings().contains(AppState::startupNoticeKey), !forgotten);
    }

    void updateItemFollowsTheUpdater()
    {
        QTemporaryDir folder;
        QSettings settings(folder.filePath("settings.ini"), QSettings::IniFormat);
        test::HeldHttpServer server;
        settings.setValue(Updater::feedAddressKey, server.url().toString());
        Updater updater(settings, "1.0");
        AppCommands commands(updater);

        // Disabled until the updater says it can check.
        QVERIFY(!commands.checkForUpdates->isEnabled());
        updater.start();
        QVERIFY(commands.checkForUpdates->isEnabled());

        // Disabled while a check runs, from the item itself.
        commands.checkForUpdates->trigger();
        QVERIFY(!updater.canCheckForUpdates());
        QVERIFY(!commands.checkForUpdates->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(server.hasRequest(), 10000);
        QSignalSpy finished(&updater, &Updater::checkFinished);
        server.closeAll();
        QVERIFY(finished.wait(10000));
        QVERIFY(commands.checkForUpdates->isEnabled());
    }

    void everyWindowHasTheSameMenus()
    {
        test::VessaAppRig rig;
        std::unique_ptr<VessaApp> app = rig.make();
        QVERIFY(app->appState());
        const QList<QMainWindow*> windows{&app->showMainWindow(), &app->showEqualizerWindow(),
                                          &app->showSettingsWindow(), app->documents().newDocument()};
        for (QMainWindow* window : windows) {
            QCOMPARE(menuTitles(*window), (QStringList{"&File", "&Window", "&Help"}));
            QCOMPARE(menuItems(*window, "fileMenu"),
                     (QStringList{"New Playlist|Ctrl+N", "New Playlist File|Ctrl+Shift+N", "Open...|Ctrl+O",
                                  "Save|Ctrl+S", "Save As...|Ctrl+Shift+S", "Close|Ctrl+W", "Quit|Ctrl+Q"}));
            QCOMPARE(menuItems(*window, "windowMenu"),
                     (QStringList{"Vessa|Ctrl+1", "Equalizer|Ctrl+2", "Settings|Ctrl+,"}));
            QCOMPARE(menuItems(*window, "helpMenu"), QStringList{"Check for Updates...|"});
        }
    }

    void singleWindowsAreMadeOnceAndBroughtToTheFront()
    {
        test::VessaAppRig rig;
        std::unique_ptr<VessaApp> app = rig.make();
        QVERIFY(app->mainWindow() == nullptr);
        QVERIFY(app->equalizerWindow() == nullptr);
        QVERIFY(app->settingsWindow() == nullptr);

        QMainWindow& main = app->showMainWindow();
        QVERIFY(activate(main));
        QTest::keyClick(&main, Qt::Key_2, Qt::ControlModifier);
        QMainWindow* equalizer = app->equalizerWindow();
        QVERIFY(equalizer);
        QCOMPARE(equalizer->windowTitle(), QString("Equalizer"));
        QVERIFY(equalizer->findChild<EqualizerView*>());
        QTRY_VERIFY(equalizer->isVisible());
        // The window is as large as the equalizer and cannot be resized.
        QCOMPARE(equalizer->centralWidget()->size(), QSize(EqualizerView::windowWidth, EqualizerView::windowHeight));
        QCOMPARE(equalizer->minimumSize(), equalizer->maximumSize());

        QVERIFY(activate(*equalizer));
        QTest::keyClick(equalizer, Qt::Key_Comma, Qt::ControlModifier);
        QMainWindow* settings = app->settingsWindow();
        QVERIFY(settings);
        QCOMPARE(settings->windowTitle(), QString("Settings"));
        QVERIFY(settings->findChild<SettingsView*>());

        // Closing hides; asking again shows the same window.
        equalizer->close();
        QVERIFY(!equalizer->isVisible());
        QVERIFY(activate(*settings));
        QTest::keyClick(settings, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(app->equalizerWindow(), equalizer);
        QVERIFY(equalizer->isVisible());
        QVERIFY(activate(*equalizer));
        QTest::keyClick(equalizer, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(&app->showMainWindow(), &main);
    }

    void newPlaylistActsOnlyInTheMainWindow()
    {
        test::VessaAppRig rig;
        std::unique_ptr<VessaApp> app = rig.make();
        const auto untitledCount = [&] {
            int count = 0;
            for (const Playlist& playlist : app->appState()->playlistLibrary().playlists())
                count += playlist.name.startsWith("Untitled") ? 1 : 0;
            return count;
        };

        // In the main window: a playlist named "Untitled" in the library.
        QMainWindow& main = app->showMainWindow();
        QVERIFY(activate(main));
        QTest::keyClick(&main, Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(untitledCount(), 1);
        QVERIFY(QTest::qWaitFor([&] {
            for (const Playlist& playlist : app->appState()->playlistLibrary().playlists())
                if (playlist.name == "Untitled")
                    return true;
            return false;
        }));

        // In a document window, or the Equalizer: nothing.
        PlaylistDocumentWindow* document = app->documents().newDocument();
        QVERIFY(activate(*document));
        QTest::keyClick(document, Qt::Key_N, Qt::ControlModifier);
        QMainWindow& equalizer = app->showEqualizerWindow();
        QVERIFY(activate(equalizer));
        app->commands().newPlaylist->trigger();
        QTest::qWait(50);
        QCOMPARE(untitledCount(), 1);
        QCOMPARE(app->documents().windows().size(), 1);

        // The command runs whatever the main window offers, and only there.
        int offered = 0;
        app->setNewPlaylistAction([&] { ++offered; });
        app->commands().newPlaylist->trigger();
        QCOMPARE(offered, 0);
        QVERIFY(activate(main));
        app->commands().newPlaylist->trigger();
        QCOMPARE(offered, 1);
    }

    void newPlaylistFileOpensAnEmptyUntitledDocument()
    {
        test::VessaAppRig rig;
        std::unique_ptr<VessaApp> app = rig.make();
        QMainWindow& main = app->showMainWindow();
        QVERIFY(activate(main));
        QTest::keyClick(&main, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);

        QCOMPARE(app->documents().windows().size(), 1);
        PlaylistDocumentWindow* document = app->documents().windows().constFirst();
        QCOMPARE(document->windowTitle(), QString("Untitled[*]"));
        QCOMPARE(document->document().playlist.name, QString("Untitled"));
        QVERIFY(document->document().playlist.tracks.isEmpty());
        QVERIFY(!document->filePath());
        QVERIFY(!document->isModified());
        QVERIFY(document->view().content());
        QVERIFY(activate(*document));
        QVERIFY(app->commands().save->isEnabled());
        QVERIFY(activate(main));
        QVERIFY(!app->commands().save->isEnabled());
    }

    void noFilesBringsTheMainWindowToTheFront()
    {
        test::VessaAppRig rig;
        std::unique_ptr<VessaApp> app = rig.make();
        app->openFiles({});
        QVERIFY(app->mainWindow());
        QVERIFY(app->mainWindow()->isVisible());
        QVERIFY(app->documents().windows().isEmpty());
    }
    void windowAskedForWhileNoThreadPaintsWaits_data()
    {
        QTest::addColumn<bool>("aFile"); // else a raise over D-Bus
        QTest::newRow("a raise over D-Bus") << false;
        QTest::newRow("a playlist file handed over") << true;
    }
    // A window asked for while the system refuses threads waits until Qt's
    // painting has one: painting it at once would hand a piece of its
    // background to a pool thread that never starts, and the main thread
    // would wait for it for good.
    void windowAskedForWhileNoThreadPaintsWaits()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        QFETCH(bool, aFile);
        test::VessaAppRig rig;
        std::unique_ptr<VessaApp> app = rig.make();
        QVERIFY(app->appState());
        const QString file = rig.home.filePath("empty.parvik");
        test::writeFile(file, "#parvik:2\t{}\n");
        const auto window = [&]() -> QWidget* {
            return aFile ? app->documents().windows().value(0) : app->mainWindow();
        };
        std::optional<test::RefusedThreads> refusal(std::in_place);
        if (aFile)
            app->openFiles({file});
        else
            app->appState()->nowPlayingBridge().raise();
        QTest::qWait(int(threadStartRetryInterval.count()) * 3 / 2);
        QVERIFY(!window() || !window()->isVisible());
        refusal.reset();
        QTRY_VERIFY(window() && window()->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        QVERIFY(!window()->grab().isNull());
    }
};

QTEST_MAIN(VessaAppTest)
#include "tst_vessaapp.moc"
