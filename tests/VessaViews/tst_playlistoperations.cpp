// The sidebar's playlist operations over a real playlist library in a
// temporary folder: inline creation and naming, deletion, drops.

#include "Parvik/PlaylistLibrary.h"
#include "Parvik/PlaylistLibraryError.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/Views/MainWindow/PlaylistOperations.h"
#include "Vessa/Views/MainWindow/SidebarSelection.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/support/FileFixture.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

TrackRef ref(const QString& title)
{
    return TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), title, 120);
}

QStringList names(const PlaylistLibrary& library)
{
    QStringList result;
    for (const Playlist& playlist : library.playlists())
        result << playlist.name;
    return result;
}

} // namespace

class PlaylistOperationsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PlaylistLibrary> m_library;
    std::unique_ptr<SidebarSelection> m_selection;
    std::unique_ptr<PlaylistOperations> m_operations;
    QStringList m_errors;

    std::optional<SidebarSource> selected() const { return m_selection->source(); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_library = std::make_unique<PlaylistLibrary>(
            std::make_shared<LocalFolderDestination>(QStringLiteral("Library Playlists"), m_dir->path()));
        m_library->load();
        m_selection = std::make_unique<SidebarSelection>();
        m_operations =
            std::make_unique<PlaylistOperations>([this]() -> PlaylistLibrary& { return *m_library; }, *m_selection);
        m_errors.clear();
        connect(m_operations.get(), &PlaylistOperations::failed, this,
                [this](std::exception_ptr error) { m_errors << describeException(error); });
    }
    void cleanup()
    {
        m_operations.reset();
        m_library.reset();
    }

    void newPlaylistsTakeTheFirstFreeUntitledName()
    {
        m_operations->createNewPlaylistInline();
        QCOMPARE(m_operations->editingName(), QStringLiteral("Untitled"));
        QCOMPARE(m_operations->editingText(), QStringLiteral("Untitled"));
        QCOMPARE(selected(), SidebarSource::playlist(QStringLiteral("Untitled")));
        m_operations->finalizeRename();
        m_operations->createNewPlaylistInline();
        m_operations->finalizeRename();
        m_operations->createNewPlaylistInline();
        QCOMPARE(m_operations->editingName(), QStringLiteral("Untitled 3"));
        QCOMPARE(names(*m_library), (QStringList{"Starred", "Untitled", "Untitled 2", "Untitled 3"}));
        QVERIFY(m_errors.isEmpty());
    }

    void returnRenamesToTheTrimmedText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::newRow("a new name") << u"Road Trip"_s << u"Road Trip"_s;
        QTest::newRow("trimmed") << u"  Road Trip \n"_s << u"Road Trip"_s;
        QTest::newRow("only spaces keep the default") << u"   "_s << u"Untitled"_s;
        QTest::newRow("unchanged") << u"Untitled"_s << u"Untitled"_s;
        QTest::newRow("unchanged after trimming") << u" Untitled "_s << u"Untitled"_s;
    }
    void returnRenamesToTheTrimmedText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QSignalSpy editing(m_operations.get(), &PlaylistOperations::editingChanged);
        m_operations->createNewPlaylistInline();
        m_operations->setEditingText(typed);
        m_operations->finalizeRename();
        QVERIFY(!m_operations->isEditing());
        QCOMPARE(editing.count(), 2);
        QCOMPARE(names(*m_library), (QStringList{"Starred", name}));
        QCOMPARE(selected(), SidebarSource::playlist(name));
        QVERIFY(m_errors.isEmpty());
    }

    void refusedNamesRaiseTheErrorAndKeepTheOldName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("error");
        QTest::newRow("taken") << u"Mix"_s << u"A playlist named 'Mix' already exists"_s;
        QTest::newRow("the Starred name") << u"Starred"_s << u"A playlist named 'Starred' already exists"_s;
        QTest::newRow("leading dot") << u".hidden"_s << u""_s;
        QTest::newRow("slash") << u"a/b"_s << u""_s;
    }
    void refusedNamesRaiseTheErrorAndKeepTheOldName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, error);
        m_library->create(QStringLiteral("Mix"));
        m_operations->createNewPlaylistInline();
        m_operations->setEditingText(typed);
        m_operations->finalizeRename();
        QCOMPARE(m_errors.size(), 1);
        if (!error.isEmpty())
            QCOMPARE(m_errors.first(), error);
        QVERIFY(!m_operations->isEditing());
        QCOMPARE(names(*m_library), (QStringList{"Starred", "Mix", "Untitled"}));
        QCOMPARE(selected(), SidebarSource::playlist(QStringLiteral("Untitled")));
    }

    void escapeDeletesTheNewPlaylistAndSelectsLocalFiles()
    {
        m_operations->createNewPlaylistInline();
        m_operations->setEditingText(QStringLiteral("Half typed"));
        m_operations->cancelCreation();
        QVERIFY(!m_operations->isEditing());
        QCOMPARE(names(*m_library), QStringList{"Starred"});
        QCOMPARE(selected(), SidebarSource::localFiles());
        // Nothing to cancel any more.
        m_selection->setSource(SidebarSource::starred());
        m_operations->cancelCreation();
        QCOMPARE(selected(), SidebarSource::starred());
    }

    void aFailedCreateStaysIdle()
    {
        // A file of that name that cannot be read keeps the name taken.
        QFile broken(m_dir->filePath(QStringLiteral("Untitled.parvik")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a playlist\n");
        broken.close();
        m_library->load();
        QCOMPARE(m_library->loadErrors().size(), 1);
        m_selection->setSource(SidebarSource::starred());
        m_operations->createNewPlaylistInline();
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(!m_operations->isEditing());
        QCOMPARE(selected(), SidebarSource::starred());
    }

    void deletingTheSelectedPlaylistSelectsLocalFiles()
    {
        m_library->create(QStringLiteral("A"));
        m_library->create(QStringLiteral("B"));
        m_selection->setSource(SidebarSource::playlist(QStringLiteral("A")));
        m_operations->deletePlaylist(QStringLiteral("B"));
        QCOMPARE(selected(), SidebarSource::playlist(QStringLiteral("A")));
        m_operations->deletePlaylist(QStringLiteral("A"));
        QCOMPARE(selected(), SidebarSource::localFiles());
        QCOMPARE(names(*m_library), QStringList{"Starred"});
        QVERIFY(m_errors.isEmpty());
        m_operations->deletePlaylist(QStringLiteral("Gone"));
        QCOMPARE(m_errors, QStringList{"Playlist 'Gone' not found"});
    }

    void droppedTracksAreAllStarredInOrder()
    {
        std::unique_ptr<QMimeData> data(
            encodeTrackRefs({ref(QStringLiteral("1")), ref(QStringLiteral("2")), ref(QStringLiteral("3"))}));
        m_library->star(ref(QStringLiteral("2")));
        QVERIFY(m_operations->dropOnStarred(*data));
        const Playlist starred = m_library->starred();
        QCOMPARE(starred.tracks.size(), 3);
        QCOMPARE(starred.tracks[0].ref, ref(QStringLiteral("2")));
        QCOMPARE(starred.tracks[1].ref, ref(QStringLiteral("1")));
        QCOMPARE(starred.tracks[2].ref, ref(QStringLiteral("3")));
        QVERIFY(m_errors.isEmpty());
    }

    void starredRefusesDropsWithoutTracks()
    {
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QStringLiteral("/music/a.flac"))});
        QVERIFY(!m_operations->dropOnStarred(files));
        std::unique_ptr<QMimeData> none(encodeTrackRefs({}));
        QVERIFY(!m_operations->dropOnStarred(*none));
        QVERIFY(m_library->starred().tracks.isEmpty());
    }

    void droppedTracksAreAppendedToAPlaylistInOrder()
    {
        Playlist mix = m_library->create(QStringLiteral("Mix"));
        mix.append(ref(QStringLiteral("0")));
        m_library->save(mix);
        std::unique_ptr<QMimeData> data(
            encodeTrackRefs({ref(QStringLiteral("1")), ref(QStringLiteral("2")), ref(QStringLiteral("3"))}));
        QVERIFY(m_operations->dropOnPlaylist(QStringLiteral("Mix"), *data, {QStringLiteral("flac")}));
        QList<TrackRef> refs;
        const Playlist stored = *m_library->playlist(QStringLiteral("Mix"));
        for (const PlaylistTrack& track : stored.tracks)
            refs << track.ref;
        QCOMPARE(refs, (QList<TrackRef>{ref(QStringLiteral("0")), ref(QStringLiteral("1")), ref(QStringLiteral("2")),
                                        ref(QStringLiteral("3"))}));
        // Written through: a fresh load reads the same.
        PlaylistLibrary reread(m_library->destination());
        reread.load();
        QCOMPARE(reread.playlist(QStringLiteral("Mix"))->tracks.size(), 4);
    }

    void droppedFilesKeepOnlySupportedOnes()
    {
        m_library->create(QStringLiteral("Mix"));
        QList<QUrl> dropped;
        for (const QString name : {"music/a.flac", "music/notes.txt", "music/b.MP3"}) {
            vessa::test::writeFile(m_dir->filePath(name), {});
            dropped.append(QUrl::fromLocalFile(m_dir->filePath(name)));
        }
        QMimeData files;
        files.setUrls(dropped);
        QVERIFY(m_operations->dropOnPlaylist(QStringLiteral("Mix"), files,
                                             {QStringLiteral("flac"), QStringLiteral("mp3")}));
        const Playlist mix = *m_library->playlist(QStringLiteral("Mix"));
        QCOMPARE(mix.tracks.size(), 2);
        QVERIFY(mix.tracks[0].fileHint && mix.tracks[0].fileHint->endsWith(QStringLiteral("/music/a.flac")));
        QVERIFY(mix.tracks[1].fileHint && mix.tracks[1].fileHint->endsWith(QStringLiteral("/music/b.MP3")));

        QMimeData unsupported;
        unsupported.setUrls({QUrl::fromLocalFile(QStringLiteral("/music/notes.txt"))});
        QVERIFY(!m_operations->dropOnPlaylist(QStringLiteral("Mix"), unsupported, {QStringLiteral("flac")}));
        QCOMPARE(m_library->playlist(QStringLiteral("Mix"))->tracks.size(), 2);
        QVERIFY(m_errors.isEmpty());
    }

    void aDropOnAVanishedPlaylistIsAnError()
    {
        std::unique_ptr<QMimeData> data(encodeTrackRefs({ref(QStringLiteral("1"))}));
        QVERIFY(m_operations->dropOnPlaylist(QStringLiteral("Gone"), *data, {}));
        QCOMPARE(m_errors, QStringList{"Playlist 'Gone' not found"});
    }
};

QTEST_GUILESS_MAIN(PlaylistOperationsTest)
#include "tst_playlistoperations.moc"
