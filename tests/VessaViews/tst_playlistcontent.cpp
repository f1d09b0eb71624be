// The playlist view: library playlists and documents, filter and sort, rows,
// playing, the empty states, and every edit with its saves and log lines.

#include "Oblin/PlayContext.h"
#include "Rasko/DestinationPlugin.h"
#include "Rasko/FileHint.h"
#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/Views/MainWindow/PlaylistOperations.h"
#include "Vessa/Views/MainWindow/SidebarSelection.h"
#include "Vessa/Views/TrackLists/PlaylistContentModel.h"
#include "Vessa/Views/TrackLists/PlaylistContentView.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/VessaViews/TrackListTestSupport.h"
#include "tests/support/FileFixture.h"
#include "tests/support/ImageFixture.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <algorithm>

using namespace vessa;
using namespace Qt::StringLiterals;
using namespace vessa::test;

namespace {

// Playlist files in memory; writes can be made to fail, and are counted.
struct MemoryDestination : DestinationPlugin {
    QMap<QString, QByteArray> files;
    bool failWrites = false;
    int writes = 0;

    QString name() const override { return QStringLiteral("Memory"); }
    QList<DestinationFileInfo> list(const QString& extension) override
    {
        QList<DestinationFileInfo> result;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            if (it.key().endsWith(QLatin1Char('.') + extension))
                result.append(DestinationFileInfo(it.key(), QDateTime(), it.value().size()));
        }
        return result;
    }
    QByteArray read(const QString& fileID) override { return files.value(fileID); }
    void write(const QString& fileID, const QByteArray& data) override
    {
        if (failWrites)
            throw std::runtime_error("the disk is full");
        ++writes;
        files.insert(fileID, data);
    }
    void remove(const QString& fileID) override { files.remove(fileID); }
};

PlaylistTrack entry(const QString& title, std::optional<QString> hint = std::nullopt,
                    const QString& artist = QStringLiteral("Artist"))
{
    return PlaylistTrack(TrackRef(artist, QStringLiteral("Album"), title), std::move(hint));
}

Playlist playlistOf(const QString& name, const QStringList& titles)
{
    Playlist playlist;
    playlist.name = name;
    for (const QString& title : titles)
        playlist.tracks.append(entry(title));
    return playlist;
}

QStringList titlesOf(const Playlist& playlist)
{
    QStringList titles;
    for (const PlaylistTrack& track : playlist.tracks)
        titles.append(track.ref.track());
    return titles;
}

} // namespace

class TestPlaylistContent : public QObject {
    Q_OBJECT

    std::unique_ptr<AppStateRig> m_rig;
    std::unique_ptr<AppState> m_state;
    std::shared_ptr<MemoryDestination> m_store;
    std::shared_ptr<RecordingRevealer> m_revealer;

    PlaylistLibrary& library() { return m_state->playlistLibrary(); }
    TrackListServices services() const { return TrackListServices::of(*m_state); }
    // Creates the library playlist and fills it.
    void addPlaylist(const Playlist& playlist)
    {
        library().create(playlist.name);
        library().save(playlist);
    }
    QStringList contentLines() const
    {
        return m_rig->log.messages(QStringLiteral("com.tornwick.vessa.playlist-content"));
    }
    std::unique_ptr<PlaylistContentView> viewOf(PlaylistStorage storage)
    {
        return std::make_unique<PlaylistContentView>(services(), std::move(storage), m_revealer);
    }

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    void init()
    {
        m_rig = std::make_unique<AppStateRig>();
        m_state = startedState(*m_rig);
        QVERIFY(m_state);
        // A library over playlist files in memory, so saves can fail on demand.
        m_store = std::make_shared<MemoryDestination>();
        auto memoryLibrary = std::make_unique<PlaylistLibrary>(m_store);
        memoryLibrary->load();
        m_state->setPlaylistLibrary(std::move(memoryLibrary));
        m_revealer = std::make_shared<RecordingRevealer>();
    }
    void cleanup()
    {
        m_state.reset();
        m_rig.reset();
    }

    void resolveFileHint_data()
    {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("withPlaylistFile");
        QTest::addColumn<QString>("expected"); // relative to the temporary folder; "" for none
        QTest::newRow("absolute, existing") << "ABS/Music/a.mp3" << false << "Music/a.mp3";
        QTest::newRow("absolute, missing") << "ABS/Music/b.mp3" << false << "";
        QTest::newRow("relative with an escaped space") << "file://sub%20dir/a.mp3" << true << "P/sub dir/a.mp3";
        QTest::newRow("relative without a playlist file") << "file://sub%20dir/a.mp3" << false << "";
        QTest::newRow("relative, malformed escape") << "file://sub%2dir/a.mp3" << true << "";
        QTest::newRow("bare file name") << "a.mp3" << true << "";
        QTest::newRow("no hint") << "NONE" << true << "";
    }

    void resolveFileHint()
    {
        QFETCH(QString, hint);
        QFETCH(bool, withPlaylistFile);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString relative : {"Music/a.mp3", "P/sub dir/a.mp3", "P/a.mp3"})
            writeFile(dir.filePath(relative), {});
        if (hint.startsWith("ABS"))
            hint = QUrl::fromLocalFile(dir.path() + hint.mid(3)).toString(QUrl::FullyEncoded);
        const std::optional<QString> given = hint == "NONE" ? std::nullopt : std::optional<QString>(hint);
        const std::optional<QString> playlist =
            withPlaylistFile ? std::optional<QString>(dir.filePath("P/list.parvik")) : std::nullopt;
        const std::optional<QString> resolved = PlaylistContentModel::resolveFileHint(given, playlist);
        QCOMPARE(resolved.value_or(QString()), expected.isEmpty() ? QString() : dir.filePath(expected));
    }

    void rowsShowUnknownTheHintedFileAndThePlayingPosition()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("x.mp3"), {});
        PlaylistDocument document(
            Playlist(QStringLiteral("Doc"), QList<PlaylistTrack>{PlaylistTrack(TrackRef(QString(), QString(), "t")),
                                                                 entry("b", "file://x.mp3"), entry("b")}));
        const QString path = dir.filePath("Doc.parvik");
        PlaylistContentModel model(services(), PlaylistStorage::document(&document, path), m_revealer);
        QCOMPARE(model.rows()[0].artist, QStringLiteral("Unknown"));
        QCOMPARE(model.rows()[0].album, QStringLiteral("Unknown"));
        QCOMPARE(model.rows()[1].userInfo.toString(), dir.filePath("x.mp3"));
        QVERIFY(model.rows()[1].isResolvable);
        QVERIFY(!model.rows()[2].userInfo.isValid());
        QVERIFY(!model.rows()[2].isResolvable);

        // The same track twice: only the playing position is marked, and only for this queue.
        model.playTrack(2);
        QCOMPARE(m_state->playContext().queueID(), std::optional<QString>(QUrl::fromLocalFile(path).toString()));
        m_state->playContext().setPlayingIndex(2);
        QTRY_VERIFY(model.rows()[2].isPlaying);
        QVERIFY(!model.rows()[1].isPlaying);
        m_state->playContext().setQueueID(QStringLiteral("library"));
        QTRY_VERIFY(!model.rows()[2].isPlaying);
    }

    void rowsShowTheFileOfAnEntryWhileTheLibraryHoldsIt()
    {
        const QString file = m_rig->writeWav(QStringLiteral("a/one.wav"));
        const QString folder = m_rig->folder(QStringLiteral("a"));
        m_state->addWatchedDirectory(folder);
        QVERIFY(AppStateRig::scanned(*m_state));
        addPlaylist(Playlist(QStringLiteral("Mix"), {PlaylistTrack(m_state->scannedTracks()[0].ref()), entry("b")}));
        PlaylistContentModel model(services(), PlaylistStorage::library("Mix"), m_revealer);
        QCOMPARE(model.rows()[0].userInfo.toString(), file);
        QVERIFY(!model.rows()[1].userInfo.isValid());
        m_state->removeWatchedDirectory(folder);
        QTRY_VERIFY(!model.rows()[0].userInfo.isValid());
    }

    void dragsAndDropsOnlyInManualOrder()
    {
        addPlaylist(playlistOf("Mix", {"a", "b", "c"}));
        auto view = viewOf(PlaylistStorage::library("Mix"));
        PlaylistContentModel& model = view->model();
        QVERIFY(model.isManualOrder());
        QVERIFY(view->table()->configuration().droppable && view->table()->configuration().reorderable);
        model.setSearchText("a");
        QVERIFY(!model.isManualOrder());
        QVERIFY(!view->table()->configuration().droppable);
        model.setSearchText(QString());

        // A drop through the table lands in the playlist; once sorted, drops are refused.
        std::unique_ptr<QMimeData> payload(encodeTrackRefs({entry("x").ref}));
        QVERIFY(view->table()->handleDrop(*payload, TrackDropDecision::Operation::Copy, 1));
        QCOMPARE(titlesOf(*library().playlist("Mix")), (QStringList{"a", "x", "b", "c"}));
        model.setSort("title", true);
        QVERIFY(!model.isManualOrder());
        QVERIFY(!view->table()->configuration().reorderable);
        QTRY_VERIFY(!view->table()->handleDrop(*payload, TrackDropDecision::Operation::Copy, 1));
        QCOMPARE(library().playlist("Mix")->tracks.size(), 4);
        // The playing column's header always brings back ascending playlist order.
        model.setSort("index", false);
        QVERIFY(model.sortAscending());
        QVERIFY(model.isManualOrder());
        QVERIFY(view->table()->configuration().reorderable);

        // Clicked, that header shows no arrow: the stored order has no direction.
        view->resize(600, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QHeaderView* header = view->table()->view()->horizontalHeader();
        const auto click = [header](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        };
        click(1);
        QTRY_VERIFY(!model.isManualOrder());
        QVERIFY(header->isSortIndicatorShown());
        for (int clicks = 0; clicks < 2; ++clicks) {
            click(0);
            QTRY_VERIFY(model.isManualOrder());
            QVERIFY(!header->isSortIndicatorShown());
        }
    }

    void filteredPlayQueuesTheShownEntriesWithTheirHints()
    {
        PlaylistDocument document(
            Playlist(QStringLiteral("Doc"), QList<PlaylistTrack>{entry("one", "file://1.mp3", "Rock"), entry("two"),
                                                                 entry("three", "file:///m/3.mp3", "Rock"),
                                                                 entry("four", std::nullopt, "Rock")}));
        PlaylistContentModel model(services(), PlaylistStorage::document(&document, QStringLiteral("/p/Doc.parvik")),
                                   m_revealer);
        model.setSearchText("ROCK");
        model.setSort("title", false);
        const auto request = model.queueRequest(2);
        QVERIFY(request);
        QCOMPARE(request->tracks, (QList<TrackRef>{document.playlist.tracks[2].ref, document.playlist.tracks[0].ref,
                                                   document.playlist.tracks[3].ref}));
        QCOMPARE(request->fileHints, (QList<std::optional<QString>>{"file:///m/3.mp3", "file://1.mp3", std::nullopt}));
        QCOMPARE(request->startIndex, 0);
        QCOMPARE(request->playlistFilePath, std::optional<QString>("/p/Doc.parvik"));
        QCOMPARE(request->queueID, QStringLiteral("file:///p/Doc.parvik"));
        QVERIFY(!model.queueRequest(1)); // filtered out

        // An unsaved document plays under its playlist's name; a library playlist under its name.
        PlaylistContentModel unsaved(services(), PlaylistStorage::document(&document, std::nullopt), m_revealer);
        QCOMPARE(unsaved.queueID(), QStringLiteral("document:Doc"));
        PlaylistContentModel starred(services(), PlaylistStorage::library("Starred"), m_revealer);
        QCOMPARE(starred.queueID(), QStringLiteral("playlist:Starred"));
    }

    // A playlist named "library" keeps its own queue through a rescan.
    void aPlaylistNamedLibraryKeepsItsQueue()
    {
        QVERIFY(!m_rig->writeWav(QStringLiteral("a/one.wav")).isEmpty());
        m_state->addWatchedDirectory(m_rig->folder(QStringLiteral("a")));
        QVERIFY(AppStateRig::scanned(*m_state));
        const QList<TrackRef> entries{m_state->scannedTracks()[0].ref()};
        addPlaylist(Playlist(QStringLiteral("library"), {PlaylistTrack(entries[0])}));
        PlaylistContentModel(services(), PlaylistStorage::library(QStringLiteral("library")), m_revealer).playTrack(0);
        QVERIFY(!m_rig->writeWav(QStringLiteral("a/three.wav")).isEmpty());
        QVERIFY(AppStateRig::scanned(*m_state));
        QCOMPARE(m_state->scannedTracks().size(), 2);
        QCOMPARE(m_state->playContext().queue(), entries);
    }

    void emptyStates_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QStringList>("afterDrop");
        const QString playlistText = u"Drag tracks here, or right-click a track and choose \"Add to Playlist\"."_s;
        QTest::newRow("Starred") << u"Starred"_s << u"No starred tracks"_s
                                 << u"Right-click a track and choose \"Star\" to add it here."_s << QStringList{"Dawn"};
        QTest::newRow("an empty library playlist")
            << u"Mix"_s << u"This playlist is empty"_s << playlistText << QStringList{"Dawn"};
        QTest::newRow("a playlist not in the library")
            << u"Missing"_s << u"This playlist is empty"_s << playlistText << QStringList{};
        QTest::newRow("document") << u""_s << u"This playlist is empty"_s
                                  << u"Drag tracks from the library or audio files here."_s << QStringList{"Dawn"};
    }

    void emptyStates()
    {
        QFETCH(QString, storage);
        PlaylistDocument document;
        if (storage == "Mix")
            addPlaylist(playlistOf("Mix", {}));
        auto view = viewOf(storage.isEmpty() ? PlaylistStorage::document(&document, std::nullopt)
                                             : PlaylistStorage::library(storage));
        auto* stack = view->findChild<QStackedWidget*>();
        QCOMPARE(stack->currentWidget(), view->emptyState());
        const QList<QLabel*> labels = view->emptyState()->findChildren<QLabel*>();
        QStringList texts;
        for (const QLabel* label : labels)
            texts.append(label->text());
        QVERIFY(texts.contains(QTest::currentDataTag() == QByteArray("Starred") ? "No starred tracks"
                                                                                : "This playlist is empty"));
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QVERIFY(texts.contains(title));
        QVERIFY(texts.contains(subtitle));

        // The empty state takes what the table takes: audio files, not text,
        // nor files that nothing plays.
        QTemporaryDir music;
        for (const QString name : {"Album/a.flac", "songs.zip", "notes.txt", "Dawn.flac"})
            writeFile(music.filePath(name), {});
        const auto url = [&music](const QString& name) { return QUrl::fromLocalFile(music.filePath(name)); };
        QMimeData text, unplayable, files;
        text.setText("Dawn.flac");
        unplayable.setUrls({url("Album"), url("songs.zip"), url("notes.txt")});
        files.setUrls({url("Dawn.flac")});
        for (QMimeData* payload : {&text, &unplayable, &files}) {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, payload, Qt::LeftButton, {});
            QApplication::sendEvent(view->emptyState(), &enter);
            QCOMPARE(enter.isAccepted(), payload == &files);
        }
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(view->emptyState(), &drop);
        QVERIFY(drop.isAccepted());
        QFETCH(QStringList, afterDrop);
        QTRY_COMPARE(view->table()->rows().size(), afterDrop.size());
        if (!afterDrop.isEmpty()) {
            QCOMPARE(view->table()->rows()[0].title, afterDrop[0]);
            QCOMPARE(stack->currentWidget(), view->table());
        }

        // A filter that matches nothing still shows the table.
        document.playlist.tracks.append(entry("a"));
        view->documentChanged();
        view->model().setSearchText("zzz");
        if (storage.isEmpty())
            QCOMPARE(stack->currentWidget(), view->table());
    }

    // An emptied playlist takes the drop its empty state asks for, sorted and filtered.
    void anEmptyPlaylistTakesDropsInAnyOrder()
    {
        addPlaylist(playlistOf("Mix", {"a", "b"}));
        auto view = viewOf(PlaylistStorage::library("Mix"));
        view->model().setSort("artist", false);
        view->model().removeTracks({0, 1});
        view->model().setSearchText("zzz");
        QTRY_COMPARE(view->findChild<QStackedWidget*>()->currentWidget(), view->emptyState());
        QTemporaryDir music;
        writeFile(music.filePath("Dawn.flac"), {});
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(music.filePath("Dawn.flac"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(view->emptyState(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(view->emptyState(), &drop);
        QVERIFY(enter.isAccepted() && drop.isAccepted());
        QCOMPARE(titlesOf(*library().playlist("Mix")), QStringList{"Dawn"});
    }

    // A document's row dropped on a library playlist in the sidebar keeps its file.
    void aDraggedEntryKeepsItsFile()
    {
        QTemporaryDir dir;
        PlaylistDocument document(
            Playlist(QStringLiteral("Doc"), {entry("a", "file://sub%20dir/a.mp3"), entry("b"), entry("d", "d.mp3")}));
        auto view = viewOf(PlaylistStorage::document(&document, dir.filePath("P/Doc.parvik")));
        std::unique_ptr<QMimeData> payload(view->table()->dragPayload({0, 1, 2}));
        addPlaylist(playlistOf("Mix", {}));
        SidebarSelection selection;
        PlaylistOperations operations([this]() -> PlaylistLibrary& { return library(); }, selection);
        QVERIFY(operations.dropOnPlaylist("Mix", *payload, {}));
        QCOMPARE(library().playlist("Mix")->tracks,
                 (QList<PlaylistTrack>{entry("a", FileHint::encode(dir.filePath("P/sub dir/a.mp3"))), entry("b"),
                                       entry("d", FileHint::encode(dir.filePath("P/d.mp3")))}));
    }

    void move_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("row 3 above row 1") << QList<int>{3} << 1 << QStringList{"a", "d", "b", "c"};
        QTest::newRow("first below the last") << QList<int>{0} << 4 << QStringList{"b", "c", "d", "a"};
        QTest::newRow("rows 1 and 2 move only row 1") << QList<int>{1, 2} << 0 << QStringList{"b", "a", "c", "d"};
        QTest::newRow("onto itself") << QList<int>{1} << 2 << QStringList{"a", "b", "c", "d"};
    }

    void move()
    {
        QFETCH(QList<int>, rows);
        QFETCH(int, destination);
        PlaylistDocument document(playlistOf("Doc", {"a", "b", "c", "d"}));
        auto view = viewOf(PlaylistStorage::document(&document, std::nullopt));
        QSignalSpy edited(view.get(), &PlaylistContentView::documentEdited);
        view->model().handleReorder(rows, destination);
        QTEST(titlesOf(document.playlist), "expected");
        QCOMPARE(edited.count(), 1);
        QCOMPARE(view->table()->rows().size(), 4);
        QTEST(QStringList({view->table()->rows()[0].title, view->table()->rows()[1].title,
                           view->table()->rows()[2].title, view->table()->rows()[3].title}),
              "expected");
    }

    // The queue is what was played, in the filter and order shown then; the
    // playlist's edits carry it, and the mark names the sounding entry in
    // whatever order the view shows now.
    void editsOfThePlayingPlaylistCarryItsQueue_data()
    {
        QTest::addColumn<QString>("list");   // "library", or a document: "Mix.parvik" by relative hints, "Untitled"
        QTest::addColumn<QString>("steps");  // "play" plays the first row shown then
        QTest::addColumn<QString>("marked"); // the marked row's title; "" for none
        QTest::addColumn<QString>("next");
        const QString library("library"), document("Mix.parvik"), untitled("Untitled");
        QTest::newRow("moved") << library << "play; move"
                               << "a"
                               << "dq";
        QTest::newRow("removed while sounding") << library << "play; remove"
                                                << ""
                                                << "bq";
        QTest::newRow("moved while another playlist is shown") << library << "play; elsewhere"
                                                               << "a"
                                                               << "dq";
        QTest::newRow("a document, moved") << document << "play; move"
                                           << "a"
                                           << "dq";
        QTest::newRow("sorted after playing") << library << "play; sort"
                                              << "a"
                                              << "bq";
        QTest::newRow("a document, sorted after playing") << document << "play; sort"
                                                          << "a"
                                                          << "bq";
        QTest::newRow("filtered out of view") << library << "play; filter"
                                              << ""
                                              << "bq";
        QTest::newRow("played sorted, shown again in stored order, edited") << library << "sort; play; reshow; remove"
                                                                            << "dq"
                                                                            << "c";
        QTest::newRow("played filtered, filter cleared, moved") << library << "filter; play; unfilter; move"
                                                                << "bq"
                                                                << "dq";
        QTest::newRow("a document, played filtered, filter cleared, moved")
            << document << "filter; play; unfilter; move"
            << "bq"
            << "dq";
        QTest::newRow("a document saved into another folder, moved") << document << "play; save elsewhere; move"
                                                                     << "a"
                                                                     << "dq";
        QTest::newRow("a document's edit discarded, opened again") << document << "play; move; close; open"
                                                                   << "a"
                                                                   << "bq";
        QTest::newRow("never saved, closed: the next of its name is another list") << untitled << "play; close; new"
                                                                                   << ""
                                                                                   << "bq";
    }
    void editsOfThePlayingPlaylistCarryItsQueue()
    {
        QFETCH(QString, list);
        QFETCH(QString, steps);
        QFETCH(QString, marked);
        QFETCH(QString, next);
        const QStringList names{"a", "bq", "c", "dq"};
        Playlist mix(list == "Untitled" ? list : QStringLiteral("Mix"), QList<PlaylistTrack>());
        for (const QString& name : names) {
            const QString wav = m_rig->writeWav(QStringLiteral("mix/%1.wav").arg(name), 44100 * 10);
            mix.append(
                entry(name, list == "Untitled" ? QUrl::fromLocalFile(wav).toString() : "file://" + name + ".wav"));
        }
        if (list == "library") {
            m_state->addWatchedDirectory(m_rig->folder(QStringLiteral("mix")));
            QVERIFY(AppStateRig::scanned(*m_state));
            for (const ScannedTrack& track : m_state->scannedTracks())
                mix.tracks[names.indexOf(QFileInfo(track.fileURL()).baseName())] = PlaylistTrack(track.ref());
            addPlaylist(mix);
            addPlaylist(playlistOf("Other", {}));
        }
        PlaylistDocument file(mix);
        std::optional<QString> filePath;
        if (list != "Untitled")
            filePath = m_rig->folder("mix") + "/" + list;
        auto view =
            viewOf(list == "library" ? PlaylistStorage::library("Mix") : PlaylistStorage::document(&file, filePath));
        const auto nowPlaying = [this] {
            return m_rig->log.messages(QStringLiteral("com.tornwick.oblin.playback")).filter("Now playing: ").size();
        };
        const auto markedTitle = [&view] {
            const TrackRows& rows = view->table()->rows();
            const auto it = std::ranges::find(rows, true, &TrackRow::isPlaying);
            return it == rows.end() ? QString() : it->title;
        };
        for (const QString& step : steps.split("; ")) {
            if (step == "play") {
                const QString played = view->table()->rows()[0].title;
                view->model().playTrack(view->table()->rows()[0].index);
                QTRY_COMPARE(nowPlaying(), 1);
                QTRY_COMPARE(markedTitle(), played);
            } else if (step == "move") {
                view->table()->setDraggedRows({0});
                std::unique_ptr<QMimeData> payload(view->table()->dragPayload({0}));
                QVERIFY(view->table()->handleDrop(*payload, TrackDropDecision::Operation::Move, 3));
            } else if (step == "remove") {
                view->table()->setSelectedIds({view->table()->rows()[0].id});
                view->table()->handleDelete();
            } else if (step == "elsewhere") {
                view->showLibraryPlaylist("Other");
                mix.move(0, 3);
                library().save(mix);
                QTRY_COMPARE(m_state->playContext().queue().indexOf(mix.tracks[2].ref), 2);
                view->showLibraryPlaylist("Mix");
            } else if (step == "reshow") {
                view->showLibraryPlaylist("Other");
                view->showLibraryPlaylist("Mix");
            } else if (step == "sort") {
                view->model().setSort("title", false);
            } else if (step == "save elsewhere") {
                // As its window saves it: its relative hints rewritten for the new folder.
                const QString path = m_rig->folder("other/sub") + "/Mix 2.parvik";
                file.playlist.rebaseFileHints(filePath, path);
                view->setStorage(PlaylistStorage::document(&file, filePath = path));
            } else if (step == "close") {
                view.reset();
            } else if (step == "open" || step == "new") {
                file = PlaylistDocument(step == "open" ? mix : playlistOf(mix.name, {}));
                view = viewOf(PlaylistStorage::document(&file, filePath));
            } else {
                view->model().setSearchText(step == "filter" ? "q" : "");
            }
        }
        QTRY_COMPARE(markedTitle(), marked);
        QCOMPARE(nowPlaying(), 1); // sounding on, not started again
        m_state->playContext().execute(PlaybackCommand::next());
        QTRY_COMPARE(nowPlaying(), 2);
        const QStringList opened = m_rig->log.messages("com.tornwick.rasko.coreaudio.decode").filter("Opened: ");
        QVERIFY2(opened.last().startsWith("Opened: " + next + ".wav"), qPrintable(opened.last()));
    }

    void drop_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("above row 1") << 1 << QStringList{"a", "x", "y", "b", "c"};
        QTest::newRow("below the last") << 3 << QStringList{"a", "b", "c", "x", "y"};
        QTest::newRow("past the end") << 9 << QStringList{"a", "b", "c", "x", "y"};
        QTest::newRow("at the top") << 0 << QStringList{"x", "y", "a", "b", "c"};
    }

    void drop()
    {
        QFETCH(int, row);
        addPlaylist(playlistOf("Mix", {"a", "b", "c"}));
        PlaylistContentModel model(services(), PlaylistStorage::library("Mix"), m_revealer);
        model.handleDrop({entry("x", "file:///m/x.mp3"), entry("y")}, row);
        const Playlist mix = *library().playlist("Mix");
        QTEST(titlesOf(mix), "expected");
        QCOMPARE(mix.tracks[titlesOf(mix).indexOf("x")].fileHint, std::optional<QString>("file:///m/x.mp3"));
        QCOMPARE(model.rows().size(), 5);
    }

    void aDropOnStarredStarsEachTrackOnce()
    {
        library().star(entry("a").ref);
        PlaylistContentModel model(services(), PlaylistStorage::library("Starred"), m_revealer);
        model.handleDrop({entry("a"), entry("b"), entry("b"), entry("c")}, 0);
        QCOMPARE(titlesOf(library().starred()), (QStringList{"b", "c", "a"}));
        library().unstar(entry("b").ref);
        QVERIFY(!library().isStarred(entry("b").ref));
    }

    void aSortedMultiDeleteRemovesTheShownEntriesAndSavesOnce()
    {
        addPlaylist(playlistOf("Mix", {"c", "a", "e", "b", "d"}));
        auto view = viewOf(PlaylistStorage::library("Mix"));
        view->model().setSort("title", true); // a b c d e
        const int writesBefore = m_store->writes;
        view->table()->setSelectedIds({view->table()->rows()[1].id, view->table()->rows()[3].id}); // b, d
        view->table()->handleDelete();
        QCOMPARE(m_store->writes, writesBefore + 1);
        QCOMPARE(titlesOf(*library().playlist("Mix")), (QStringList{"c", "a", "e"}));
        QTRY_COMPARE(view->table()->rows().size(), 3);
    }

    void aFailedSaveIsLoggedAndChangesNothing()
    {
        addPlaylist(playlistOf("Mix", {"a", "b"}));
        PlaylistContentModel model(services(), PlaylistStorage::library("Mix"), m_revealer);
        m_store->failWrites = true;
        model.removeTrack(0);
        QCOMPARE(titlesOf(*library().playlist("Mix")), (QStringList{"a", "b"}));
        QCOMPARE(model.rows().size(), 2);
        QCOMPARE(contentLines().size(), 1);
        QVERIFY2(contentLines()[0].startsWith("Failed to save playlist 'Mix': "), qPrintable(contentLines()[0]));
        QCOMPARE(describeException(m_state->scanErrors().scanError()),
                 "Failed to save playlist 'Mix': the disk is full");
        // An edit of a playlist the library does not hold does nothing.
        PlaylistContentModel gone(services(), PlaylistStorage::library("Gone"), m_revealer);
        gone.handleDrop({entry("x")}, 0);
        QVERIFY(!library().playlist("Gone"));
    }

    void contextMenu_data()
    {
        QTest::addColumn<bool>("document");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("library, one row with a file")
            << false << QList<int>{0}
            << titleList("Play, Add to Queue, -, Star, Add to Playlist>, Mix, Other, <, -, Show in File Manager, -, "
                         "Remove from Playlist");
        QTest::newRow("library, one row without a file")
            << false << QList<int>{1}
            << titleList("Play, Add to Queue, -, Star, Add to Playlist>, Mix, Other, <, -, Remove from Playlist");
        QTest::newRow("library, three rows, two with files")
            << false << QList<int>{0, 1, 2}
            << titleList("Play, Add 3 to Queue, -, Star 3 Tracks, Add 3 to Playlist>, Mix, Other, <, -, "
                         "Show 2 in File Manager, -, Remove 3 from Playlist");
        QTest::newRow("document, three rows")
            << true << QList<int>{0, 1, 2}
            << titleList("Play, Add 3 to Queue, -, Show 2 in File Manager, -, Remove 3 from Playlist");
    }

    void contextMenu()
    {
        QFETCH(bool, document);
        QFETCH(QList<int>, rows);
        QTemporaryDir dir;
        for (const char* name : {"a.mp3", "c.mp3"})
            writeFile(dir.filePath(name), {});
        const auto hinted = [&dir](const char* name) {
            return QUrl::fromLocalFile(dir.filePath(name)).toString(QUrl::FullyEncoded);
        };
        Playlist mix("Mix", QList<PlaylistTrack>{entry("a", hinted("a.mp3")), entry("b"), entry("c", hinted("c.mp3")),
                                                 entry("d"), entry("e")});
        addPlaylist(mix);
        addPlaylist(playlistOf("Other", {}));
        PlaylistDocument doc(mix);
        PlaylistContentModel model(
            services(), document ? PlaylistStorage::document(&doc, std::nullopt) : PlaylistStorage::library("Mix"),
            m_revealer);
        TrackRows chosen;
        for (int row : rows)
            chosen.append(model.rows()[row]);
        const QList<TrackContextMenuItem> items = model.contextMenu(chosen);
        QTEST(menuTitles(items), "titles");
        QCOMPARE(items.last().role(), std::optional(TrackContextMenuItem::ButtonRole::Destructive));

        // "Add to Playlist" lists this playlist too and appends without hints.
        if (!document) {
            menuItem(items, "Mix")->action()();
            const Playlist saved = *library().playlist("Mix");
            QCOMPARE(saved.tracks.size(), 5 + rows.size());
            QCOMPARE(saved.tracks[5], PlaylistTrack(chosen[0].ref));
        }
        items.last().action()();
        const QList<PlaylistTrack> left = document ? doc.playlist.tracks : library().playlist("Mix")->tracks;
        QCOMPARE(left.size(), (document ? 5 : 5 + rows.size()) - rows.size());
        QCOMPARE(left.first().ref.track(), rows.contains(0) ? (rows.size() == 1 ? "b" : "d") : "a");
    }

    void copyToLibrary_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free name") << "Road" << QStringList{"Mix"} << "Road";
        QTest::newRow("Mix and Mix 2 taken") << "Mix" << QStringList{"Mix", "Mix 2"} << "Mix 3";
        QTest::newRow("the starred playlist's name") << "Starred" << QStringList{} << "Starred 2";
    }

    void copyToLibrary()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        for (const QString& taken : existing)
            library().create(taken);
        PlaylistDocument document(
            Playlist(name, QList<PlaylistTrack>{entry("a", "file://rel/a.mp3"), entry("b", "file:///abs/b.mp3")}));
        auto view = viewOf(PlaylistStorage::document(&document, std::nullopt));
        QCOMPARE(view->copyButton()->text(), QStringLiteral("Copy to Library"));
        view->copyButton()->click();
        const std::optional<Playlist> copy = library().playlist(expected);
        QVERIFY(copy);
        QCOMPARE(copy->tracks, document.playlist.tracks);
        QCOMPARE(view->copyButton()->text(), QStringLiteral("Copied"));
        QVERIFY(!view->copyButton()->isEnabled());
        QCOMPARE(contentLines(),
                 QStringList{QStringLiteral("Copied playlist '%1' to library as '%2'").arg(name, expected)});
    }

    void aFailedCopyKeepsTheButton()
    {
        PlaylistDocument document(playlistOf("Mix", {"a"}));
        auto view = viewOf(PlaylistStorage::document(&document, std::nullopt));
        m_store->failWrites = true;
        view->copyButton()->click();
        QCOMPARE(view->copyButton()->text(), QStringLiteral("Copy to Library"));
        QVERIFY(view->copyButton()->isEnabled());
        QCOMPARE(contentLines().size(), 1);
        QVERIFY(contentLines()[0].startsWith("Failed to copy playlist to library: "));
        QCOMPARE(describeException(m_state->scanErrors().scanError()),
                 "Failed to save playlist 'Mix': the disk is full");
        m_store->failWrites = false;
        view->copyButton()->click();
        QCOMPARE(view->copyButton()->text(), QStringLiteral("Copied"));
    }

    void looksRight()
    {
        addPlaylist(playlistOf("Road Trip", {"Intro", "Highway", "Dusk"}));
        auto view = viewOf(PlaylistStorage::library("Road Trip"));
        view->resize(700, 240);
        view->show();
        QVERIFY(savesAsPng(view->grab()));
        PlaylistDocument document;
        auto empty = viewOf(PlaylistStorage::document(&document, std::nullopt));
        empty->resize(700, 360);
        empty->show();
        QVERIFY(savesAsPng(empty->grab()));
    }
};

QTEST_MAIN(TestPlaylistContent)
#include "tst_playlistcontent.moc"
