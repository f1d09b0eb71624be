#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/PlaylistDirectory.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/FileFixture.h"

#include <QtTest>

using namespace vessa;
using namespace vessa::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(vessa::LibraryStorageLocation)

namespace {

constexpr int timeoutMs = 15000;
// Longer than the cloud watcher's quiet second, for changes that must not come.
constexpr int quietMs = 2500;
const QString watcherCategory = u"com.tornwick.vessa.icloud-watcher"_s;

QStringList names(const AppState& state)
{
    QStringList result;
    for (const Playlist& playlist : state.playlistLibrary().playlists())
        result.append(playlist.name);
    return result;
}

// The rig with a cloud folder ("cloud" under the home folder, holding
// playlists Mix and Road) and, optionally, the settings that use it.
struct StorageRig : AppStateRig {
    QString cloud = home.filePath(u"cloud"_s);
    QString cloudPlaylists = cloud + u"/playlists"_s;
    QString local = home.filePath(u".qttest/share/Tornwick/playlists"_s);

    StorageRig()
    {
        writeFile(cloudPlaylists + u"/Mix.parvik"_s, "#parvik:2\ncloud-mix\n");
        writeFile(cloudPlaylists + u"/Road.parvik"_s, "#parvik:2\ncloud-road\n");
    }
    void useCloud(const QString& location)
    {
        settings()->setValue(PlaylistDirectory::cloudContainerDirectoryKey, cloud);
        if (!location.isEmpty())
            settings()->setValue(AppState::libraryStorageLocationKey, location);
    }
    // A started state whose playlists have loaded.
    std::unique_ptr<AppState> started(const QStringList& expectedNames) const
    {
        std::unique_ptr<AppState> state = start();
        if (state && !QTest::qWaitFor([&] { return names(*state) == expectedNames; }, timeoutMs))
            qWarning() << "playlists:" << names(*state);
        return state;
    }
    // Started with the cloud folder set and no preference saved.
    std::unique_ptr<AppState> startedInCloud()
    {
        useCloud(QString());
        return started({"Starred", "Mix", "Road"});
    }
    bool switched(AppState& state) const
    {
        return QTest::qWaitFor([&] { return !state.isSwitchingStorage(); }, timeoutMs);
    }
    bool logged(const QString& line, int timeout = timeoutMs) const
    {
        return QTest::qWaitFor([&] { return appLines().contains(line); }, timeout);
    }
};

} // namespace

class AppStatePlaylistStorageTest : public QObject {
    Q_OBJECT

private slots:
    void startsInTheCloudFolderAndReloadsItsChanges()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.startedInCloud();
        QVERIFY(state);
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "Road"}));
        QVERIFY(QFileInfo::exists(rig.cloudPlaylists + u"/Starred.parvik"_s));
        QVERIFY(!QFileInfo::exists(rig.local));
        QVERIFY(state->isUsingiCloud());
        QVERIFY(state->storageLocation() == LibraryStorageLocation::automatic);
        QVERIFY(rig.log.contains(watcherCategory, u"Started watching the cloud folder for *.parvik files"_s));

        writeFile(rig.cloudPlaylists + u"/New.parvik"_s, "#parvik:2\n");
        QTRY_COMPARE_WITH_TIMEOUT(names(*state), (QStringList{"Starred", "Mix", "New", "Road"}), timeoutMs);
        QVERIFY(rig.logged(u"Reloaded playlists from the cloud folder (4 playlists)"_s));
    }

    // Both preferences name the same folder: only the preference is saved.
    void sameFolderSavesOnlyThePreference_data()
    {
        QTest::addColumn<bool>("cloud");
        QTest::addColumn<QString>("from");
        QTest::addColumn<LibraryStorageLocation>("to");
        QTest::newRow("automatic to icloud, cloud folder set")
            << true << u"automatic"_s << LibraryStorageLocation::icloud;
        QTest::newRow("icloud to automatic, cloud folder set")
            << true << u"icloud"_s << LibraryStorageLocation::automatic;
        QTest::newRow("local to automatic, no cloud folder")
            << false << u"local"_s << LibraryStorageLocation::automatic;
    }

    void sameFolderSavesOnlyThePreference()
    {
        QFETCH(bool, cloud);
        QFETCH(QString, from);
        QFETCH(LibraryStorageLocation, to);
        StorageRig rig;
        if (cloud)
            rig.useCloud(from);
        else
            rig.settings()->setValue(AppState::libraryStorageLocationKey, from);
        std::unique_ptr<AppState> state =
            rig.started(cloud ? QStringList{"Starred", "Mix", "Road"} : QStringList{"Starred"});
        QVERIFY(state);
        const PlaylistLibrary* library = &state->playlistLibrary();
        QSignalSpy changed(state.get(), &AppState::storageLocationChanged);
        rig.log.clear();

        state->setStorageLocation(to);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(rig.settings()->value(AppState::libraryStorageLocationKey).toString(), toString(to));
        QVERIFY(rig.switched(*state));
        QCOMPARE(&state->playlistLibrary(), library);
        QCOMPARE(rig.appLines(), QStringList());
        QCOMPARE(state->isUsingiCloud(), cloud);
    }

    void sameValueAgainDoesNothing()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        QSignalSpy changed(state.get(), &AppState::storageLocationChanged);
        state->setStorageLocation(LibraryStorageLocation::automatic);
        QVERIFY(!state->isSwitchingStorage());
        QCOMPARE(changed.size(), 0);
        QVERIFY(!rig.settings()->contains(AppState::libraryStorageLocationKey));
    }

    void cloudToLocalCopiesAndStopsWatching()
    {
        StorageRig rig;
        rig.useCloud(u"icloud"_s);
        writeFile(rig.local + u"/Mix.parvik"_s, "#parvik:2\nlocal-mix\n");
        std::unique_ptr<AppState> state = rig.started({"Starred", "Mix", "Road"});
        QVERIFY(state);
        QSignalSpy libraryChanged(state.get(), &AppState::playlistLibraryChanged);
        rig.log.clear();

        state->setStorageLocation(LibraryStorageLocation::local);
        QVERIFY(rig.switched(*state));
        QCOMPARE(libraryChanged.size(), 1);
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "Road"}));
        QCOMPARE(state->playlistLibrary().playlist(u"Mix"_s)->tracks.value(0).ref.uri(), u"local-mix"_s);
        QCOMPARE(fileContent(rig.local + u"/Road.parvik"_s), "#parvik:2\ncloud-road\n");
        QCOMPARE(fileContent(rig.cloudPlaylists + u"/Mix.parvik"_s), "#parvik:2\ncloud-mix\n");
        QVERIFY(!state->isUsingiCloud());
        QVERIFY(describeException(state->scanError()).contains(u"kept as they are there: Mix. "_s));
        const QStringList lines = rig.appLines();
        QCOMPARE(lines.value(0), u"Migrating playlists from %1 to %2"_s.arg(rig.cloudPlaylists, rig.local));
        QCOMPARE(lines.value(1), u"Migrated 2 playlist(s)"_s); // Starred and Road

        // The cloud folder is no longer watched.
        writeFile(rig.cloudPlaylists + u"/Late.parvik"_s, "#parvik:2\n");
        QVERIFY(!rig.logged(u"Reloaded playlists from the cloud folder (4 playlists)"_s, quietMs));
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "Road"}));
    }

    void changedCloudFolderSwitches()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.startedInCloud();
        QVERIFY(state);
        const QString other = rig.home.filePath(u"other cloud"_s);
        QVERIFY(QDir().mkpath(other));
        QSignalSpy changed(state.get(), &AppState::cloudContainerDirectoryChanged);

        state->setCloudContainerDirectory(other + u'/');
        QCOMPARE(changed.size(), 1);
        QCOMPARE(state->cloudContainerDirectory(), other);
        QVERIFY(rig.switched(*state));
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "Road"}));
        QCOMPARE(fileContent(other + u"/playlists/Mix.parvik"_s), "#parvik:2\ncloud-mix\n");
        QVERIFY(
            rig.appLines().contains(u"Migrating playlists from %1 to %2/playlists"_s.arg(rig.cloudPlaylists, other)));

        // The new folder is the one watched now.
        writeFile(other + u"/playlists/New.parvik"_s, "#parvik:2\n");
        QTRY_COMPARE_WITH_TIMEOUT(names(*state), (QStringList{"Starred", "Mix", "New", "Road"}), timeoutMs);

        // No cloud folder any more: back to the local folder, with the playlists.
        state->setCloudContainerDirectory(QString());
        QVERIFY(rig.switched(*state));
        QVERIFY(!rig.settings()->contains(PlaylistDirectory::cloudContainerDirectoryKey));
        QVERIFY(QFileInfo::exists(rig.local + u"/New.parvik"_s));
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "New", "Road"}));
    }

    // Copying and loading both fail: each is logged and shown, and the
    // switch still ends in the new folder.
    void failedSwitchIsReported()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.startedInCloud();
        QVERIFY(state);
        const QString other = rig.home.filePath(u"other"_s);
        writeFile(other + u"/playlists"_s, "a file where the playlist folder should be");
        QSignalSpy errors(state.get(), &AppState::scanErrorChanged);
        rig.log.clear();

        state->setCloudContainerDirectory(other);
        QVERIFY(rig.switched(*state));
        QCOMPARE(errors.size(), 2);
        const QStringList lines = rig.appLines();
        QCOMPARE(lines.value(1),
                 u"Playlist migration failed: Could not create the playlist folder %1/playlists: Not a directory"_s.arg(
                     other));
        QVERIFY2(lines.value(2).startsWith(u"Failed to load playlists after migration: "_s),
                 qPrintable(lines.value(2)));
        QCOMPARE(u"Failed to load playlists after migration: "_s + describeException(state->scanError()),
                 lines.value(2));
        QVERIFY(state->playlistLibrary().playlists().isEmpty());
    }

    // Back to the local folder after Starred changed in the cloud folder: the
    // local Starred is kept, and the user is told where the other one lies.
    void switchingBackKeepsTheTargetsPlaylistsAndSaysSo()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        state->setCloudContainerDirectory(rig.cloud);
        QVERIFY(rig.switched(*state));
        QVERIFY(!state->scanError());
        state->playlistLibrary().star(TrackRef(u"starred-in-the-cloud"_s));
        const QByteArray localStarred = fileContent(rig.local + u"/Starred.parvik"_s);
        const QByteArray cloudStarred = fileContent(rig.cloudPlaylists + u"/Starred.parvik"_s);
        rig.log.clear();

        state->setStorageLocation(LibraryStorageLocation::local);
        QVERIFY(rig.switched(*state));
        QCOMPARE(rig.appLines().value(1), u"Migrated 2 playlist(s)"_s); // Mix and Road
        QCOMPARE(describeException(state->scanError()),
                 u"These playlists were already in %1 and were kept as they are there: Starred. Their other versions "
                 "were not copied; they are still in %2."_s.arg(rig.local, rig.cloudPlaylists));
        QVERIFY(!state->playlistLibrary().isStarred(TrackRef(u"starred-in-the-cloud"_s)));
        QCOMPARE(fileContent(rig.local + u"/Starred.parvik"_s), localStarred);
        QCOMPARE(fileContent(rig.cloudPlaylists + u"/Starred.parvik"_s), cloudStarred);
    }

    void anUnreadablePlaylistFolderIsReported()
    {
        StorageRig rig;
        writeFile(rig.local, "a file where the playlist folder should be");
        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        QTRY_VERIFY(state->scanError());
        QVERIFY2(describeException(state->scanError()).contains(u"Not a directory"_s),
                 qPrintable(describeException(state->scanError())));
        QVERIFY(rig.appLines().contains(u"Failed to load playlists: "_s + describeException(state->scanError())));
        QVERIFY(state->playlistLibrary().playlists().isEmpty());
    }

    void cloudRequestedButUnavailable()
    {
        StorageRig rig;
        rig.settings()->setValue(AppState::libraryStorageLocationKey, u"icloud"_s);
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        const QString fallback = u"Cloud folder requested but unavailable, falling back to local storage"_s;
        QCOMPARE(rig.appLines().count(fallback), 1);
        QVERIFY(QFileInfo::exists(rig.local + u"/Starred.parvik"_s));
        QVERIFY(state->storageLocation() == LibraryStorageLocation::icloud);
        QVERIFY(!state->isUsingiCloud());
        QCOMPARE(rig.appLines().count(fallback), 2); // every resolution logs it
        QVERIFY(!rig.log.contains(watcherCategory, u"Started watching the cloud folder for *.parvik files"_s));
    }

    void unknownStoredLocationIsAutomatic()
    {
        StorageRig rig;
        rig.settings()->setValue(AppState::libraryStorageLocationKey, u"iCloud"_s);
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        QVERIFY(state->storageLocation() == LibraryStorageLocation::automatic);
        QCOMPARE(rig.settings()->value(AppState::libraryStorageLocationKey).toString(), u"iCloud"_s);
    }
};

QTEST_GUILESS_MAIN(AppStatePlaylistStorageTest)
#include "tst_appstateplayliststorage.moc"
