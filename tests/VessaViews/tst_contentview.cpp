// The main window over a real app state (temporary home, real scans of
// hand-made WAV files, SDL's dummy output): the detail states, the "Error"
// alert, Space, reveal, the sidebar's folders and playlists. The lists of
// the detail pane are light stand-ins that record what they are handed.

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/App/Playlists/PlaylistDirectory.h"
#include "Vessa/Views/MainWindow/ContentView.h"
#include "Vessa/Views/MainWindow/EmptyLibraryView.h"
#include "Vessa/Views/MainWindow/InlineNameField.h"
#include "Vessa/Views/MainWindow/PlaylistOperations.h"
#include "Vessa/Views/MainWindow/ScanningStateView.h"
#include "Vessa/Views/MainWindow/SidebarSelection.h"
#include "Vessa/Views/NowPlaying/NowPlayingView.h"
#include "Vessa/Views/NowPlaying/TrackInfoView.h"
#include "Vessa/Views/Shared/ErrorAlert.h"
#include "Vessa/Views/Theme/TextStyles.h"
#include "Vessa/Views/TrackLists/PlaylistContentModel.h"
#include "Vessa/Views/TrackLists/PlaylistContentView.h"
#include "Vessa/Views/TrackLists/TrackListView.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableModel.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"
#include "VessaCore/Error.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/FileFixture.h"
#include "tests/support/TextError.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

using namespace vessa;
using namespace vessa::test;

namespace {

// What the detail pane handed its lists.
struct ListRecord {
    QList<ScannedTrack> libraryTracks;
    std::optional<SidebarSource> librarySource;
    QList<TrackRef> revealed;
    QString playlist;
};

// A text field of the list, as the real one has.
class RecordingLibraryList : public QLineEdit, public LibraryDetailList {
public:
    explicit RecordingLibraryList(ListRecord& record) : m_record(record)
    {
        setObjectName(QStringLiteral("libraryList"));
    }
    QWidget* widget() override { return this; }
    void setScannedTracks(const QList<ScannedTrack>& tracks, const std::optional<SidebarSource>& source) override
    {
        m_record.libraryTracks = tracks;
        m_record.librarySource = source;
    }
    void revealTrack(const TrackRef& track) override { m_record.revealed << track; }

private:
    ListRecord& m_record;
};

class RecordingPlaylistView : public QWidget, public PlaylistDetailView {
public:
    explicit RecordingPlaylistView(ListRecord& record) : m_record(record) {}
    QWidget* widget() override { return this; }
    void showLibraryPlaylist(const QString& name) override { m_record.playlist = name; }

private:
    ListRecord& m_record;
};

DetailLists recordingLists(ListRecord& record)
{
    DetailLists lists;
    lists.makeLibraryList = [&record](const TrackListServices&) -> LibraryDetailList* {
        return new RecordingLibraryList(record);
    };
    lists.makePlaylistView = [&record](const TrackListServices&, const QString& name) -> PlaylistDetailView* {
        record.playlist = name;
        return new RecordingPlaylistView(record);
    };
    return lists;
}

QStringList rowTexts(const QList<QTreeWidgetItem*>& items)
{
    QStringList texts;
    for (const QTreeWidgetItem* item : items)
        texts << item->text(0) + u'|' + item->text(SidebarView::countColumn);
    return texts;
}

} // namespace

class ContentViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppStateRig> m_rig;
    std::unique_ptr<AppState> m_state;
    ListRecord m_record;
    std::unique_ptr<ContentView> m_window;

    // With the recording stand-ins unless other lists are given.
    void open(std::optional<DetailLists> lists = std::nullopt)
    {
        m_window = std::make_unique<ContentView>(*m_state, lists ? *lists : recordingLists(m_record));
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    QWidget* page() const { return m_window->detailPages()->currentWidget(); }
    SidebarView* sidebar() const { return m_window->sidebar(); }
    // Folders "A" (two tracks, one in a subfolder) and its sibling "AB" (one
    // track), scanned.
    void addScannedSiblingFolders()
    {
        QVERIFY(!m_rig->writeWav(QStringLiteral("A/a1.wav"), 44100 * 30).isEmpty());
        QVERIFY(!m_rig->writeWav(QStringLiteral("A/sub/a2.wav")).isEmpty());
        QVERIFY(!m_rig->writeWav(QStringLiteral("AB/ab1.wav")).isEmpty());
        m_state->addWatchedDirectory(m_rig->folder(QStringLiteral("A")));
        m_state->addWatchedDirectory(m_rig->folder(QStringLiteral("AB")));
        QVERIFY(AppStateRig::scanned(*m_state));
    }
    QMessageBox* shownErrorBox() const { return m_window->errorAlert()->box(); }

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    void init()
    {
        m_rig = std::make_unique<AppStateRig>();
        m_record = ListRecord();
        m_state = m_rig->start();
        QVERIFY(m_state);
    }
    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_rig.reset();
    }

    void emptyLibraryWithoutFoldersShowsTheEmptyState_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("smallest") << QSize(1, 1);
        QTest::newRow("small") << QSize(640, 420);
        QTest::newRow("default") << QSize(1100, 700);
        QTest::newRow("large") << QSize(2400, 1400);
    }
    void emptyLibraryWithoutFoldersShowsTheEmptyState()
    {
        QFETCH(QSize, size);
        open();
        m_window->resize(size);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Vessa"));
        QCOMPARE(page(), m_window->emptyState());
        QCOMPARE(m_window->emptyState()->title(), QStringLiteral("No tracks loaded"));
        QVERIFY(m_window->emptyState()->hint().contains(QStringLiteral("Ctrl+,")));
        // Symbol, title and hint whole, however the hint wraps; the button it names in sight.
        for (const QLabel* label : m_window->emptyState()->findChildren<QLabel*>()) {
            QTRY_VERIFY(label->height() >= (label->hasHeightForWidth() ? label->heightForWidth(label->width())
                                                                       : label->sizeHint().height()));
            QCOMPARE(label->visibleRegion(), QRegion(label->rect()));
        }
        QVERIFY(m_window->emptyState()->hint().contains(u'"' + sidebar()->addFolderButton()->text() + u'"'));
        QVERIFY(!sidebar()->localFilesItem()->isExpanded());
        QCOMPARE(sidebar()->addFolderButton()->visibleRegion(), QRegion(sidebar()->addFolderButton()->rect()));
        QVERIFY(QDir().mkpath(QStringLiteral("artefacts")));
        QVERIFY(m_window->grab().save(QStringLiteral("artefacts/first-run-%1.png").arg(QTest::currentDataTag())));
        // No folders: showing the window scans nothing.
        QVERIFY(!m_state->isScanning());
    }

    void showingTheWindowScansAndTheListFollows()
    {
        addScannedSiblingFolders();
        m_state.reset();
        // A new run: the library is in the database, nothing is loaded yet.
        m_state = m_rig->start();
        QVERIFY(m_state->scannedTracks().isEmpty());
        const auto scansStarted = [&] {
            return m_rig->appLines().filter(QStringLiteral("Starting scan of 2 directories")).size();
        };
        const qsizetype before = scansStarted();
        open();
        QCOMPARE(scansStarted(), before + 1);
        QTRY_COMPARE(page(), m_window->libraryList());
        QTRY_VERIFY_WITH_TIMEOUT(!m_state->isScanning(), 20000);
        QTRY_COMPARE(m_record.libraryTracks.size(), 3);

        // Hidden and shown again: another rescan, and the list stays.
        m_window->hide();
        m_window->show();
        QCOMPARE(scansStarted(), before + 2);
        QCOMPARE(page(), m_window->libraryList());
        QTRY_VERIFY_WITH_TIMEOUT(!m_state->isScanning(), 20000);
        QCOMPARE(page(), m_window->libraryList());
    }

    void theFirstScanOfAnEmptyLibraryShowsTheScanningState()
    {
        open();
        constexpr int fileCount = 30;
        for (int i = 0; i < fileCount; ++i)
            QVERIFY(!m_rig->writeWav(QStringLiteral("Many/%1.wav").arg(i)).isEmpty());
        m_state->addWatchedDirectory(m_rig->folder(QStringLiteral("Many")));
        m_state->rescanAll();
        // The pane follows at the next turn of the event loop.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(page(), m_window->scanningState());
        QVERIFY(m_window->scanningState()->text().startsWith(QStringLiteral("Scanning ")));
        QTRY_COMPARE_WITH_TIMEOUT(page(), m_window->libraryList(), 20000);
        QCOMPARE(m_window->scanningState()->text(), QStringLiteral("Scanning %1/%1 files...").arg(fileCount));
    }

    void foldersListTheirOwnTracksNotASiblingsOnes()
    {
        addScannedSiblingFolders();
        open();
        QCOMPARE(rowTexts(sidebar()->folderItems()), (QStringList{"A|2", "AB|1"}));
        m_window->selection().setSource(SidebarSource::folder(m_rig->folder(QStringLiteral("A"))));
        QTRY_COMPARE(AppStateRig::titles(m_record.libraryTracks), (QStringList{"a1", "a2"}));
        QCOMPARE(AppStateRig::titles(m_window->tracksForSelection()), (QStringList{"a1", "a2"}));
        QCOMPARE(m_record.librarySource, m_window->selection().source());
        // The user picks the sibling in the sidebar.
        sidebar()->setCurrentItem(sidebar()->folderItems().at(1));
        QCOMPARE(m_window->selection().source(), SidebarSource::folder(m_rig->folder(QStringLiteral("AB"))));
        QTRY_COMPARE(AppStateRig::titles(m_record.libraryTracks), QStringList{"ab1"});
    }

    // A missing or unreadable music folder keeps its row, greyed, the reason as its tooltip.
    void unavailableFoldersAreGreyedWithTheReason_data()
    {
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << false << "it does not exist";
        QTest::newRow("unreadable") << true << "it cannot be read";
    }
    void unavailableFoldersAreGreyedWithTheReason()
    {
        QFETCH(bool, closed);
        QFETCH(QString, reason);
        if (closed && geteuid() == 0)
            QSKIP("permissions do not restrict the superuser");
        addScannedSiblingFolders();
        open();
        const QString folder = m_rig->folder(QStringLiteral("AB"));
        const QByteArray path = QFile::encodeName(folder);
        const auto restore = qScopeGuard([&] { ::chmod(path.constData(), 0755); });
        QVERIFY(closed ? ::chmod(path.constData(), 0) == 0 : QDir().rename(folder, folder + "-away"));
        QVERIFY(AppStateRig::scanned(*m_state));
        const QColor greyed = TextStyles::tertiaryText(sidebar()->palette());
        for (const int column : {0, SidebarView::countColumn}) {
            QTRY_COMPARE(sidebar()->folderItems().at(1)->foreground(column).color(), greyed);
            QCOMPARE(sidebar()->folderItems().at(1)->toolTip(column), folder + " is not available: " + reason);
        }
        QCOMPARE(rowTexts(sidebar()->folderItems()), (QStringList{"A|2", "AB|1"}));
        QVERIFY(sidebar()->folderItems().at(0)->foreground(0).color() != greyed);
    }

    void theFoldersFoldIsSaved()
    {
        open();
        QVERIFY(!sidebar()->localFilesItem()->isExpanded());
        sidebar()->localFilesItem()->setExpanded(true);
        QCOMPARE(m_state->settings().value(QStringLiteral("sidebarFoldersExpanded")).toBool(), true);
        m_window.reset();
        open();
        QVERIFY(sidebar()->localFilesItem()->isExpanded());
    }

    void addFolderAsksTheChooserAndScans()
    {
        open();
        QVERIFY(!m_rig->writeWav(QStringLiteral("New/n1.wav")).isEmpty());
        const QString folder = m_rig->folder(QStringLiteral("New"));
        QString answer;
        sidebar()->setFolderChooser([&](QWidget*) { return answer; });
        sidebar()->addFolderButton()->click();
        QVERIFY(m_state->watchedDirectories().isEmpty());
        QVERIFY(!m_state->isScanning());
        // A folder without music leaves the library empty, and the button the
        // empty state's hint names in sight.
        answer = m_rig->folder(QStringLiteral("Bare"));
        sidebar()->addFolderButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(sidebar()->folderItems()), QStringList{"Bare|0"}, 20000);
        QTRY_VERIFY(!m_state->isScanning());
        QVERIFY(sidebar()->addFolderButton()->isVisible());
        answer = folder;
        sidebar()->addFolderButton()->click();
        QVERIFY(m_state->isScanning());
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(sidebar()->folderItems()), (QStringList{"Bare|0", "New|1"}), 20000);
        // With a folder, "Add Folder" is back in the folded group.
        QVERIFY(!sidebar()->addFolderButton()->isVisible());
    }

    void theErrorAlertFollowsScanError()
    {
        open();
        m_state->scanErrors().setScanError(std::make_exception_ptr(TextError(QStringLiteral("Disk on fire"))));
        QVERIFY(shownErrorBox());
        QCOMPARE(shownErrorBox()->windowTitle(), QStringLiteral("Error"));
        QCOMPARE(shownErrorBox()->text(), QStringLiteral("Disk on fire"));
        // A new error updates the box already up.
        m_state->scanErrors().setScanError(std::make_exception_ptr(TextError(QStringLiteral("Disk still on fire"))));
        QCOMPARE(shownErrorBox()->text(), QStringLiteral("Disk still on fire"));
        QCOMPARE(m_window->findChildren<QMessageBox*>().size(), 1);
        shownErrorBox()->button(QMessageBox::Ok)->click();
        QVERIFY(!m_state->scanErrors().scanError());
        QTRY_VERIFY(!shownErrorBox());
        // Raised again by the next error; Escape dismisses and clears it too.
        m_state->scanErrors().setScanError(std::make_exception_ptr(TextError(QStringLiteral("Again"))));
        QVERIFY(shownErrorBox());
        QTest::keyClick(shownErrorBox(), Qt::Key_Escape);
        QVERIFY(!m_state->scanErrors().scanError());
        QTRY_VERIFY(!shownErrorBox());
        QCOMPARE(m_window->findChildren<QMessageBox*>().size(), 1);
        // Cleared elsewhere (a scan starting): the box goes away.
        m_state->scanErrors().setScanError(std::make_exception_ptr(TextError(QStringLiteral("Once more"))));
        QVERIFY(shownErrorBox());
        m_state->scanErrors().setScanError(nullptr);
        QVERIFY(!shownErrorBox());
    }

    // A message for a minimised window waits, and opens once the window is
    // restored, also when the window system maps it before its state changes.
    void aWaitingAlertOpensWhenItsWindowIsRestored()
    {
        open();
        m_window->showMinimized();
        m_state->scanErrors().setScanError(std::make_exception_ptr(TextError(QStringLiteral("Disk on fire"))));
        QCoreApplication::processEvents();
        QVERIFY(m_window->errorAlert()->isWaiting() && !m_window->errorAlert()->isShown());
        m_window->showNormal();
        QTRY_VERIFY(shownErrorBox());
        QCOMPARE(shownErrorBox()->text(), QStringLiteral("Disk on fire"));
    }

    void spaceTogglesPlaybackButTypesInTextFields()
    {
        addScannedSiblingFolders();
        open();
        PlayContext& context = m_state->playContext();
        QTRY_COMPARE(page(), m_window->libraryList());
        m_window->sidebar()->setFocus();
        QTest::keyClick(m_window->sidebar(), Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(context.transportState().isPlaying(), 10000);
        // A transport button clicked with the mouse does not take the space.
        QTest::mouseClick(m_window->nowPlaying()->shuffleButton(), Qt::LeftButton);
        QTest::keyClick(m_window.get(), Qt::Key_Space);
        QTRY_COMPARE(context.transportState().kind(), TransportState::Kind::paused);

        // In a text field the space is text.
        auto* field = qobject_cast<QLineEdit*>(m_window->libraryList());
        QVERIFY(field);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Space);
        QCOMPARE(field->text(), QStringLiteral(" "));
        QCOMPARE(context.transportState().kind(), TransportState::Kind::paused);
        m_window->createNewPlaylistInline();
        QTRY_VERIFY(sidebar()->nameField() && sidebar()->nameField()->hasFocus());
        // The default name is selected, so typing replaces it.
        QTest::keyClick(sidebar()->nameField(), Qt::Key_Space);
        QCOMPARE(sidebar()->nameField()->text(), QStringLiteral(" "));
        QCOMPARE(context.transportState().kind(), TransportState::Kind::paused);
    }

    void revealSwitchesToLocalFilesUnlessTheSelectionListsTheTrack()
    {
        addScannedSiblingFolders();
        open();
        const TrackRef a1 = m_state->scannedTracks().at(0).ref();
        const auto folderA = SidebarSource::folder(m_rig->folder(QStringLiteral("A")));
        m_window->selection().setSource(folderA);
        m_window->revealTrack(a1);
        QCOMPARE(m_window->selection().source(), folderA);
        QCOMPARE(m_record.revealed, QList<TrackRef>{a1});

        m_window->selection().setSource(SidebarSource::starred());
        QTRY_COMPARE(m_record.playlist, QStringLiteral("Starred"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Starred \u2014 Vessa"));
        // Through the bar: a click on the current track.
        m_state->playContext().setQueue({a1});
        m_state->playContext().setCurrentIndex(0);
        m_state->playContext().setCurrentMetadata(TrackMetadata());
        m_window->revealTrack(a1);
        QCOMPARE(m_window->selection().source(), SidebarSource::localFiles());
        QCOMPARE(page(), m_window->libraryList());
        QCOMPARE(m_record.libraryTracks.size(), 3);
        QCOMPARE(m_record.revealed.size(), 2);
    }

    void playlistRowsWithCountsAndLoadErrors()
    {
        const QString playlists = m_rig->home.filePath(QStringLiteral(".qttest/share/Tornwick/playlists"));
        m_state.reset();
        writeFile(playlists + QStringLiteral("/Broken.parvik"), "this is no playlist\n");
        m_state = m_rig->start();
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty());
        Playlist mix = m_state->playlistLibrary().create(QStringLiteral("Mix"));
        mix.append(TrackRef(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")));
        m_state->playlistLibrary().save(mix);
        m_state->playlistLibrary().star(TrackRef(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")));
        open();
        QCOMPARE(rowTexts({sidebar()->itemFor(SidebarSource::starred())}), QStringList{"Starred|1"});
        QCOMPARE(rowTexts(sidebar()->playlistItems()), QStringList{"Mix|1"});
        const QList<QTreeWidgetItem*> failed = sidebar()->loadErrorItems();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first()->text(0), QStringLiteral("Broken"));
        QVERIFY(!failed.first()->toolTip(0).isEmpty());
        QVERIFY(!(failed.first()->flags() & Qt::ItemIsSelectable));
        QVERIFY(!sidebar()->contextMenuFor(failed.first()));

        // Selecting a playlist shows it.
        sidebar()->setCurrentItem(sidebar()->playlistItems().first());
        QCOMPARE(m_window->selection().source(), SidebarSource::playlist(QStringLiteral("Mix")));
        QTRY_COMPARE(m_record.playlist, QStringLiteral("Mix"));
    }

    void newPlaylistIsNamedInline()
    {
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty());
        open();
        sidebar()->newPlaylistButton()->click();
        QTRY_VERIFY(sidebar()->nameField() && sidebar()->nameField()->hasFocus());
        InlineNameField* field = sidebar()->nameField();
        QCOMPARE(field->placeholderText(), QStringLiteral("Playlist name"));
        QCOMPARE(field->text(), QStringLiteral("Untitled"));
        QCOMPARE(m_window->selection().source(), SidebarSource::playlist(QStringLiteral("Untitled")));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Untitled \u2014 Vessa"));
        QVERIFY(!sidebar()->contextMenuFor(sidebar()->playlistItems().first()));
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("Road Trip "));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(rowTexts(sidebar()->playlistItems()), QStringList{"Road Trip|0"});
        QVERIFY(!sidebar()->nameField());
        QCOMPARE(m_window->selection().source(), SidebarSource::playlist(QStringLiteral("Road Trip")));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Road Trip \u2014 Vessa"));
        QCOMPARE(sidebar()->currentItem(), sidebar()->playlistItems().first());

        // A taken name: the "Error" alert, and the old name stays.
        m_window->createNewPlaylistInline();
        QTRY_VERIFY(sidebar()->nameField());
        sidebar()->nameField()->setText(QStringLiteral("Road Trip"));
        QTest::keyClick(sidebar()->nameField(), Qt::Key_Return);
        QTRY_VERIFY(shownErrorBox());
        QCOMPARE(shownErrorBox()->text(), QStringLiteral("A playlist named 'Road Trip' already exists"));
        QTRY_COMPARE(rowTexts(sidebar()->playlistItems()), (QStringList{"Road Trip|0", "Untitled|0"}));
        shownErrorBox()->button(QMessageBox::Ok)->click();

        // Escape deletes the new playlist and selects Local Files.
        m_window->createNewPlaylistInline();
        QTRY_VERIFY(sidebar()->nameField());
        QCOMPARE(sidebar()->nameField()->text(), QStringLiteral("Untitled 2"));
        QTest::keyClick(sidebar()->nameField(), Qt::Key_Escape);
        QTRY_COMPARE(rowTexts(sidebar()->playlistItems()), (QStringList{"Road Trip|0", "Untitled|0"}));
        QCOMPARE(m_window->selection().source(), SidebarSource::localFiles());
        QCOMPARE(sidebar()->currentItem(), sidebar()->localFilesItem());
    }

    void namingGoesOnAcrossRebuilds_data()
    {
        QTest::addColumn<bool>("scan");
        QTest::addColumn<QString>("typedBefore");
        QTest::newRow("a scan ends before typing") << true << "";
        QTest::newRow("a playlist appears before typing") << false << "";
        QTest::newRow("a scan ends while typing") << true << "Ro";
    }
    void namingGoesOnAcrossRebuilds()
    {
        QFETCH(bool, scan);
        QFETCH(QString, typedBefore);
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty());
        open();
        m_window->createNewPlaylistInline();
        QTRY_VERIFY(sidebar()->nameField() && sidebar()->nameField()->hasFocus());
        QTest::keyClicks(QApplication::focusWidget(), typedBefore);
        const QPointer<InlineNameField> field = sidebar()->nameField();
        if (scan) {
            QVERIFY(!m_rig->writeWav(QStringLiteral("New/n1.wav")).isEmpty());
            m_state->addWatchedDirectory(m_rig->folder(QStringLiteral("New")));
            QVERIFY(AppStateRig::scanned(*m_state));
            QTRY_COMPARE(rowTexts(sidebar()->folderItems()), QStringList{"New|1"});
        } else {
            m_state->playlistLibrary().create(QStringLiteral("Elsewhere"));
        }
        QTRY_VERIFY(!field);
        QVERIFY(sidebar()->nameField());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Road").mid(typedBefore.size()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(m_state->playlistLibrary().playlist(QStringLiteral("Road")));
        QCOMPARE(m_window->selection().source(), SidebarSource::playlist(QStringLiteral("Road")));
        QVERIFY(!m_state->playlistLibrary().playlist(QStringLiteral("Untitled")));
    }

    void deletePlaylistFromTheRowsMenu()
    {
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty());
        m_state->playlistLibrary().create(QStringLiteral("Keep"));
        m_state->playlistLibrary().create(QStringLiteral("Drop"));
        open();
        m_window->selection().setSource(SidebarSource::playlist(QStringLiteral("Keep")));
        std::unique_ptr<QMenu> menu =
            sidebar()->contextMenuFor(sidebar()->itemFor(SidebarSource::playlist(QStringLiteral("Drop"))));
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Delete Playlist"));
        menu->actions().first()->trigger();
        QTRY_COMPARE(rowTexts(sidebar()->playlistItems()), QStringList{"Keep|0"});
        QCOMPARE(m_window->selection().source(), SidebarSource::playlist(QStringLiteral("Keep")));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Keep \u2014 Vessa"));
        sidebar()->contextMenuFor(sidebar()->playlistItems().first())->actions().first()->trigger();
        QCOMPARE(m_window->selection().source(), SidebarSource::localFiles());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Vessa"));
        QVERIFY(!sidebar()->contextMenuFor(sidebar()->itemFor(SidebarSource::starred())));
    }

    void dropsOnSidebarRows()
    {
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty());
        m_state->playlistLibrary().create(QStringLiteral("Mix"));
        open();
        const QList<TrackRef> refs{TrackRef(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("1")),
                                   TrackRef(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("2")),
                                   TrackRef(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("3"))};
        std::unique_ptr<QMimeData> tracks(encodeTrackRefs(refs));
        QVERIFY(sidebar()->drop(sidebar()->playlistItems().first(), *tracks));
        QTRY_COMPARE(rowTexts(sidebar()->playlistItems()), QStringList{"Mix|3"});
        QVERIFY(sidebar()->drop(sidebar()->itemFor(SidebarSource::starred()), *tracks));
        QCOMPARE(m_state->playlistLibrary().starred().tracks.size(), 3);
        QTRY_COMPARE(rowTexts({sidebar()->itemFor(SidebarSource::starred())}), QStringList{"Starred|3"});
        // Local Files and folders take no drops; unsupported files change nothing.
        QVERIFY(!sidebar()->acceptsDrop(sidebar()->localFilesItem(), *tracks));
        QMimeData text;
        text.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/readme.txt"))});
        QVERIFY(!sidebar()->acceptsDrop(sidebar()->playlistItems().first(), text));
        QVERIFY(!sidebar()->drop(sidebar()->playlistItems().first(), text));
        QVERIFY(!sidebar()->acceptsDrop(sidebar()->itemFor(SidebarSource::starred()), text));
        QCOMPARE(m_state->playlistLibrary().playlist(QStringLiteral("Mix"))->tracks.size(), 3);
    }

    void theProgramsOwnListsPlugIn()
    {
        addScannedSiblingFolders();
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty());
        m_state->playlistLibrary().create(QStringLiteral("Mix"));
        open(DetailLists::standard());

        auto* library = qobject_cast<TrackListView*>(m_window->libraryList());
        QVERIFY(library);
        QTRY_COMPARE(page(), library);
        QTRY_COMPARE(library->table()->rows().size(), 3);
        m_window->selection().setSource(SidebarSource::folder(m_rig->folder(QStringLiteral("A"))));
        QTRY_COMPARE(library->table()->rows().size(), 2);

        // Space in the filter field is text; elsewhere it plays.
        library->filterField()->setFocus();
        QTest::keyClick(library->filterField(), Qt::Key_Space);
        QCOMPARE(library->filterField()->text(), QStringLiteral(" "));
        QCOMPARE(m_state->playContext().transportState().kind(), TransportState::Kind::idle);
        library->filterField()->clear();
        library->table()->setFocus();
        QTest::keyClick(library->table(), Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(m_state->playContext().transportState().isPlaying(), 10000);

        // Revealing a track of another folder lists the whole library and selects it.
        const TrackRef ab1 = m_state->scannedTracks().at(2).ref();
        QCOMPARE(m_state->scannedTracks().at(2).title(), QStringLiteral("ab1"));
        m_window->revealTrack(ab1);
        QCOMPARE(m_window->selection().source(), SidebarSource::localFiles());
        QTRY_COMPARE(library->table()->rows().size(), 3);
        QTRY_VERIFY(library->table()->selectedIds().contains(TrackRowId(ab1)));

        m_window->selection().setSource(SidebarSource::starred());
        QTRY_VERIFY(m_window->playlistView());
        auto* playlist = qobject_cast<PlaylistContentView*>(m_window->playlistView());
        QVERIFY(playlist);
        QTRY_COMPARE(page(), playlist);
        QCOMPARE(playlist->navigationTitle(), QStringLiteral("Starred"));
        m_window->selection().setSource(SidebarSource::playlist(QStringLiteral("Mix")));
        QTRY_COMPARE(playlist->navigationTitle(), QStringLiteral("Mix"));
    }

    // Each playlist selected, or the same one again after another list, starts in its stored order.
    void eachPlaylistSelectedStartsInItsStoredOrder()
    {
        QTRY_VERIFY(m_state->playlistLibrary().playlist(QStringLiteral("Starred")));
        Playlist mix = m_state->playlistLibrary().create(QStringLiteral("Mix"));
        for (const char* title : {"c", "xa", "x"})
            mix.append(TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), QString::fromLatin1(title)));
        m_state->playlistLibrary().save(mix);
        m_state->playlistLibrary().create(QStringLiteral("Empty"));
        open(DetailLists::standard());
        m_window->selection().setSource(SidebarSource::playlist(QStringLiteral("Mix")));
        QTRY_VERIFY(m_window->playlistView());
        auto* view = qobject_cast<PlaylistContentView*>(m_window->playlistView());
        TrackTable* table = view->table();
        const auto titles = [table] {
            QStringList shown;
            for (const TrackRow& row : table->rows())
                shown << row.title;
            return shown;
        };
        QTRY_COMPARE(titles(), QStringList({"c", "xa", "x"}));
        QHeaderView* header = table->view()->horizontalHeader();
        const int title = table->model()->columnOf(TrackTableColumn::Kind::Title);
        table->handleHeaderClick(title, Qt::AscendingOrder);
        view->filterField()->setText(QStringLiteral("x"));
        QTRY_COMPARE(titles(), QStringList({"x", "xa"}));

        m_window->selection().setSource(SidebarSource::localFiles());
        QTRY_VERIFY(page() != view);
        m_window->selection().setSource(SidebarSource::playlist(QStringLiteral("Mix")));
        QTRY_COMPARE(titles(), QStringList({"c", "xa", "x"}));
        QVERIFY(view->model().isManualOrder() && view->filterField()->text().isEmpty());
        QVERIFY(!header->isSortIndicatorShown() && table->configuration().reorderable
                && table->configuration().droppable);

        // An empty playlist shown after a sorted one takes drops.
        table->handleHeaderClick(title, Qt::DescendingOrder);
        m_window->selection().setSource(SidebarSource::playlist(QStringLiteral("Empty")));
        QTRY_VERIFY(table->rows().isEmpty() && !header->isSortIndicatorShown());
        QVERIFY(table->configuration().droppable);
    }

    // The playlist folder became a file after the playlists loaded: a reorder
    // cannot be saved, the alert says why, and the old order stays shown.
    void aReorderThatCannotBeSavedShowsTheAlertAndTheOldOrder()
    {
        QTRY_VERIFY(m_state->playlistLibrary().playlist(QStringLiteral("Starred")));
        Playlist mix = m_state->playlistLibrary().create(QStringLiteral("Mix"));
        for (const QString& title : {QStringLiteral("a"), QStringLiteral("b")})
            mix.append(TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), title));
        m_state->playlistLibrary().save(mix);
        open(DetailLists::standard());
        m_window->selection().setSource(SidebarSource::playlist(QStringLiteral("Mix")));
        QTRY_VERIFY(m_window->playlistView());
        TrackTable* table = qobject_cast<PlaylistContentView*>(m_window->playlistView())->table();
        QTRY_COMPARE(table->rows().size(), 2);
        replaceFolderWithFile(PlaylistDirectory::local());

        table->setDraggedRows({0});
        QVERIFY(table->handleDrop(QMimeData(), TrackDropDecision::Operation::Move, 2));
        QTRY_VERIFY(shownErrorBox());
        QVERIFY(shownErrorBox()->text().startsWith(QStringLiteral("Failed to save playlist 'Mix': ")));
        QCOMPARE(table->rows()[0].title, QStringLiteral("a"));
        QCOMPARE(m_state->playlistLibrary().playlist(QStringLiteral("Mix"))->tracks, mix.tracks);
    }

    // The whole window drawn offscreen; VESSA_WINDOW_PICTURE names a PNG file to keep it in.
    void windowPicture()
    {
        addScannedSiblingFolders();
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty());
        m_state->playlistLibrary().create(QStringLiteral("Road Trip"));
        m_state->playlistLibrary().star(m_state->scannedTracks().at(0).ref());
        m_state->settings().setValue(QStringLiteral("sidebarFoldersExpanded"), true);
        open(DetailLists::standard());
        PlayContext& context = m_state->playContext();
        context.setCurrentIndex(0);
        TrackMetadata metadata;
        metadata.title = QStringLiteral("a1");
        metadata.artist = QStringLiteral("Someone");
        metadata.album = QStringLiteral("Somewhere");
        context.setCurrentMetadata(metadata);
        QTRY_VERIFY(m_window->libraryList());
        QTRY_COMPARE(page(), m_window->libraryList());
        QTRY_COMPARE(m_window->nowPlaying()->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::metadata);
        const QPixmap picture = m_window->grab();
        QVERIFY(!picture.isNull());
        const QString path = qEnvironmentVariable("VESSA_WINDOW_PICTURE");
        if (!path.isEmpty())
            QVERIFY(picture.save(path));
    }

    void theEqualizerActionAsksForTheWindow()
    {
        open();
        QSignalSpy requested(m_window.get(), &ContentView::equalizerRequested);
        QCOMPARE(m_window->equalizerAction()->text(), QStringLiteral("Equalizer"));
        m_window->equalizerAction()->trigger();
        QCOMPARE(requested.count(), 1);
    }
};

QTEST_MAIN(ContentViewTest)
#include "tst_contentview.moc"
