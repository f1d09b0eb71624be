// The library track list: filter with its debounce and saved text, sorting,
// playing the shown list, the context menu and revealing a track.

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/Library/MusicFolderWatcher.h"
#include "Vessa/App/Playlists/PlaylistDirectory.h"
#include "Vessa/Views/Shared/DesktopOpenError.h"
#include "Vessa/Views/TrackLists/LibrarySelection.h"
#include "Vessa/Views/TrackLists/TrackListModel.h"
#include "Vessa/Views/TrackLists/TrackListView.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/ListSizes.h"
#include "tests/VessaViews/TrackListTestSupport.h"
#include "tests/support/FileFixture.h"
#include "tests/support/ImageFixture.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace vessa;
using namespace vessa::test;

class TestTrackListView : public QObject {
    Q_OBJECT

    std::unique_ptr<AppStateRig> m_rig;
    std::unique_ptr<AppState> m_state;
    std::shared_ptr<RecordingRevealer> m_revealer;

    TrackListServices services() const { return TrackListServices::of(*m_state); }
    QList<ScannedTrack> tenTracks() const
    {
        QList<ScannedTrack> tracks;
        for (int i = 0; i < 10; ++i)
            tracks.append(scannedTrack(QStringLiteral("Song %1").arg(i), i % 2 ? "Rock Band" : "Jazz Trio"));
        return tracks;
    }
    std::unique_ptr<TrackListView> makeView()
    {
        auto view = std::make_unique<TrackListView>(services(), m_revealer);
        view->setScannedTracks(tenTracks(), std::nullopt);
        return view;
    }

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    void init()
    {
        m_rig = std::make_unique<AppStateRig>();
        m_state = startedState(*m_rig);
        QVERIFY(m_state);
        m_revealer = std::make_shared<RecordingRevealer>();
    }
    void cleanup()
    {
        m_state.reset();
        m_rig.reset();
    }

    void typingRecomputesOnceAndSavesTheTextOnce()
    {
        auto view = makeView();
        QSignalSpy rows(&view->model(), &TrackListModel::rowsChanged);
        QTest::keyClicks(view->filterField(), QStringLiteral("rock"));
        QCOMPARE(rows.count(), 0);
        QTRY_COMPARE(rows.count(), 1);
        QCOMPARE(view->table()->rows().size(), 5);
        QCOMPARE(m_state->settings().value("librarySearchText").toString(), QStringLiteral("rock"));

        // A new list restores the filter.
        auto again = makeView();
        QCOMPARE(again->filterField()->text(), QStringLiteral("rock"));
        QCOMPARE(again->table()->rows().size(), 5);
    }

    void doubleClickInAFilteredListQueuesTheShownTracks()
    {
        auto view = makeView();
        view->model().setSearchText(QStringLiteral("ROCK"));
        view->model().setSort(QStringLiteral("title"), false);
        const TrackRows shown = view->table()->rows();
        QCOMPARE(shown.size(), 5);
        view->table()->handleDoubleClick(2);
        const PlayContext& playContext = m_state->playContext();
        QList<TrackRef> expected;
        for (const TrackRow& row : shown)
            expected.append(row.ref);
        QCOMPARE(playContext.queue(), expected);
        QCOMPARE(playContext.currentIndex(), std::optional<qsizetype>(2));
        QCOMPARE(playContext.queueID(), std::optional<QString>(QStringLiteral("library")));
    }

    // A queue played from the list follows library changes in the list's folder,
    // filter and sort as they were when played; the sounding track plays on.
    void aPlayedListFollowsLibraryChanges_data()
    {
        QTest::addColumn<QString>("folder"); // "" for the whole library
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("sortKey");       // descending
        QTest::addColumn<bool>("rescanAndShuffle"); // or file events, in order
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("filter, title, file events") << ""
                                                    << "ROCK"
                                                    << "title" << false << QStringList{"rock-e", "rock-c", "rock-a"};
        QTest::newRow("folder, own order, rescan, shuffle")
            << "x"
            << ""
            << "index" << true << QStringList{"rock-e", "rock-a", "jazz-b"};
    }
    void aPlayedListFollowsLibraryChanges()
    {
        QFETCH(QString, folder);
        QFETCH(QString, filter);
        QFETCH(QString, sortKey);
        QFETCH(bool, rescanAndShuffle);
        const QString music = m_rig->folder(QStringLiteral("m"));
        for (const char* name : {"m/x/rock-a.wav", "m/x/jazz-b.wav", "m/y/rock-c.wav", "m/y/pop-d.wav"})
            QVERIFY(!m_rig->writeWav(QString::fromLatin1(name), 44100 * 20).isEmpty()); // sounds throughout
        QSignalSpy watched(&m_state->folderWatcher(), &MusicFolderWatcher::watchApplied);
        m_state->addWatchedDirectory(music);
        QVERIFY(AppStateRig::scanned(*m_state));
        PlayContext& context = m_state->playContext();
        context.setShuffleEnabled(rescanAndShuffle);
        const std::optional<SidebarSource> source =
            folder.isEmpty() ? std::nullopt : std::optional(SidebarSource::folder(music + u'/' + folder));
        TrackListModel model(services(), m_revealer);
        model.setScannedTracks(LibrarySelection::tracksFor(source, m_state->scannedTracks()), source);
        model.setSearchText(filter);
        model.setSort(sortKey, false);
        model.playTrack(model.displayedTracks().constFirst());
        QTRY_VERIFY_WITH_TIMEOUT(context.transportState().isPlaying(), 10000);
        const TrackRef playing = *context.currentTrack();
        model.setSearchText(QStringLiteral("jazz")); // typed after playing
        QTRY_VERIFY(!watched.isEmpty());
        for (const char* name : {"m/x/rock-e.wav", "m/y/jazz-f.wav"})
            QVERIFY(!m_rig->writeWav(QString::fromLatin1(name)).isEmpty());
        if (rescanAndShuffle)
            QVERIFY(AppStateRig::scanned(*m_state));
        QVERIFY(AppStateRig::holds(*m_state, 6));
        const auto queueTitles = [&] {
            QStringList titles;
            for (const TrackRef& ref : context.queue())
                titles.append(ref.track());
            return titles;
        };
        QFETCH(QStringList, expected);
        QTRY_COMPARE(queueTitles(), expected);
        QCOMPARE(context.currentTrack(), std::optional<TrackRef>(playing));
        QVERIFY(context.transportState().isPlaying());
        QCOMPARE(context.shuffledIndices().size(), rescanAndShuffle ? context.queue().size() : 0);
    }

    void theCurrentTrackIsMarked()
    {
        auto view = makeView();
        const ScannedTrack third = view->model().scannedTracks()[3];
        m_state->playContext().loadQueue({view->model().scannedTracks()[0].ref(), third.ref()}, 1);
        QTRY_VERIFY(view->table()->rows()[3].isPlaying);
        QCOMPARE(std::count_if(view->table()->rows().cbegin(), view->table()->rows().cend(),
                               [](const TrackRow& row) { return row.isPlaying; }),
                 1);
    }

    void aChangedLibraryOfTheSameSizeIsShown()
    {
        auto view = makeView();
        QList<ScannedTrack> retagged = tenTracks();
        retagged[4] = scannedTrack(QStringLiteral("Renamed"));
        view->setScannedTracks(retagged, std::nullopt);
        QCOMPARE(view->table()->rows()[4].title, QStringLiteral("Renamed"));
        QCOMPARE(view->table()->rows()[4].ref, retagged[4].ref());
    }

    void aLargeLibraryIsShownOnceReadyAndTheNewestWins()
    {
        auto view = makeView();
        view->model().setSort(QStringLiteral("title"), false);
        QList<ScannedTrack> large;
        for (qsizetype i = 0; i < ListSizes::largeList; ++i)
            large.append(scannedTrack(QStringLiteral("Track %1").arg(i, 5, 10, QLatin1Char('0'))));
        QList<ScannedTrack> larger = large;
        larger.append(scannedTrack(QStringLiteral("Zulu")));
        view->setScannedTracks(large, std::nullopt);
        view->setScannedTracks(larger, std::nullopt);
        QCOMPARE(view->table()->rows().size(), 10); // the old list until the new one is ready
        QTRY_COMPARE(view->table()->rows().size(), larger.size());
        QCOMPARE(view->table()->rows().first().title, QStringLiteral("Zulu"));
        QCOMPARE(view->model().scannedTracks(), larger);
    }

    void aLargeLibraryInItsOwnOrderIsShownAtOnce()
    {
        auto view = makeView();
        QList<ScannedTrack> large;
        for (qsizetype i = 0; i < ListSizes::largeList; ++i)
            large.append(scannedTrack(QStringLiteral("Track %1").arg(i, 5, 10, QLatin1Char('0'))));
        large.append(scannedTrack(QStringLiteral("Zulu")));
        view->setScannedTracks(large, std::nullopt);
        QCOMPARE(view->table()->rows().size(), large.size()); // before its keys are ready
        QCOMPARE(view->table()->rows().last().title, QStringLiteral("Zulu"));
        // A filter typed meanwhile applies once they are.
        view->model().setSearchText(QStringLiteral("zulu"));
        QTRY_COMPARE(view->table()->rows().size(), 1);
        QCOMPARE(view->table()->rows().first().title, QStringLiteral("Zulu"));
    }

    void contextMenu_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QList<int>>("starred");
        QTest::addColumn<bool>("userPlaylist");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("one row") << QList<int>{0} << QList<int>{} << true
                                 << titleList("Play, Add to Queue, -, Star, Add to Playlist>, Mix, <, -, "
                                              "Show in File Manager");
        QTest::newRow("one starred row, only Starred")
            << QList<int>{0} << QList<int>{0} << false
            << titleList("Play, Add to Queue, -, Unstar, -, Show in File Manager");
        QTest::newRow("three rows, two starred")
            << QList<int>{1, 2, 3} << QList<int>{1, 3} << true
            << titleList("Play, Add 3 to Queue, -, Star 3 Tracks, Add 3 to Playlist>, Mix, <, -, "
                         "Show 3 in File Manager");
        QTest::newRow("three rows, all starred")
            << QList<int>{1, 2, 3} << QList<int>{1, 2, 3} << false
            << titleList("Play, Add 3 to Queue, -, Unstar 3 Tracks, -, Show 3 in File Manager");
    }

    void contextMenu()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QList<int>, starred);
        QFETCH(bool, userPlaylist);
        auto view = makeView();
        PlaylistLibrary& library = m_state->playlistLibrary();
        const TrackRows& shown = view->table()->rows();
        for (int row : starred)
            library.star(shown[row].ref);
        if (userPlaylist)
            library.create(QStringLiteral("Mix"));
        TrackRows chosen;
        for (int row : rows)
            chosen.append(shown[row]);
        const QList<TrackContextMenuItem> items = view->model().contextMenu(chosen);
        QTEST(menuTitles(items), "titles");

        // Starring several stars only the missing ones; unstarring removes them all.
        items[3].action()();
        for (const TrackRow& row : chosen)
            QCOMPARE(library.isStarred(row.ref), starred.size() != rows.size());
        if (starred.size() != rows.size())
            QCOMPARE(library.starred().tracks.size(), rows.size());

        const QString show =
            rows.size() == 1 ? QStringLiteral("Show in File Manager") : QStringLiteral("Show 3 in File Manager");
        menuItem(items, show)->action()();
        QCOMPARE(m_revealer->calls.size(), 1);
        QCOMPARE(m_revealer->calls[0].size(), rows.size());
        QCOMPARE(m_revealer->calls[0][0], chosen[0].userInfo.toString());
    }

    void addToPlaylistAppendsTheTracksWithoutHints()
    {
        auto view = makeView();
        PlaylistLibrary& library = m_state->playlistLibrary();
        library.create(QStringLiteral("Mix"));
        const TrackRows chosen{view->table()->rows()[0], view->table()->rows()[0]};
        const QList<TrackContextMenuItem> items = view->model().contextMenu(chosen);
        menuItem(items, QStringLiteral("Mix"))->action()();
        const Playlist mix = *library.playlist(QStringLiteral("Mix"));
        QCOMPARE(mix.tracks.size(), 2);
        QCOMPARE(mix.tracks[1], PlaylistTrack(chosen[0].ref));
    }

    // The playlist folder became a file, and nothing opens folders: each
    // failure goes to the "Error" alert, and nothing looks saved that is not.
    void failuresReachTheErrorAlert_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("reason");
        QTest::newRow("star") << "Star"
                              << "Failed to save playlist 'Starred': ";
        QTest::newRow("add to playlist") << "Mix"
                                         << "Failed to save playlist 'Mix': ";
        QTest::newRow("show in file manager") << "Show in File Manager"
                                              << "Could not show the files: ";
    }

    void failuresReachTheErrorAlert()
    {
        QFETCH(QString, item);
        QFETCH(QString, reason);
        auto view = makeView();
        PlaylistLibrary& library = m_state->playlistLibrary();
        library.create(QStringLiteral("Mix"));
        replaceFolderWithFile(PlaylistDirectory::local());
        m_revealer->failure = std::make_exception_ptr(DesktopOpenError::folders({QStringLiteral("/music")}));
        const TrackRow row = view->table()->rows()[0];

        menuItem(view->model().contextMenu({row}), item)->action()();
        const QString shown = describeException(m_state->scanErrors().scanError());
        QVERIFY2(shown.startsWith(reason), qPrintable(shown));
        QVERIFY(!library.isStarred(row.ref));
        QVERIFY(library.playlist(QStringLiteral("Mix"))->tracks.isEmpty());
    }

    void revealingAHiddenTrackClearsTheFilterAndSelectsIt()
    {
        auto view = makeView();
        view->filterField()->setText(QStringLiteral("jazz"));
        view->model().setSearchText(QStringLiteral("jazz"));
        const TrackRef hidden = view->model().scannedTracks()[1].ref();
        view->revealTrack(hidden);
        QCOMPARE(view->filterField()->text(), QString());
        QCOMPARE(m_state->settings().value("librarySearchText").toString(), QString());
        QCOMPARE(view->table()->rows().size(), 10);
        QCOMPARE(view->table()->selectedIds(), TrackSelection{TrackRowId(hidden)});
        QCOMPARE(view->table()->view()->selectionModel()->selectedRows().size(), 1);

        // A track that is not in the list selects nothing and keeps the filter.
        view->model().setSearchText(QStringLiteral("jazz"));
        view->revealTrack(TrackRef(QStringLiteral("Nobody"), QString(), QStringLiteral("Gone")));
        QCOMPARE(view->model().searchText(), QStringLiteral("jazz"));
        QVERIFY(view->table()->view()->selectionModel()->selectedRows().isEmpty());
    }

    void looksRight()
    {
        auto view = makeView();
        m_state->playContext().loadQueue({view->model().scannedTracks()[2].ref()}, 0);
        view->resize(820, 360);
        view->show();
        QTRY_VERIFY(view->table()->rows()[2].isPlaying);
        QVERIFY(savesAsPng(view->grab()));
    }
};

QTEST_MAIN(TestTrackListView)
#include "tst_tracklistview.moc"
