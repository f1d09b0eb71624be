#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/Playlists/PlaylistDirectory.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/FileFixture.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace vessa;
using namespace vessa::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(vessa::LibraryStorageLocation)

namespace {

constexpr int timeoutMs = 15000;
// Longer than the cloud watcher's quiet second, for changes that must not come.
constexpr int quietMs = 2500;
const QString watcherCategory = u"com.tornwick.vessa.cloud-folder-watcher"_s;

// Where a switch into the cloud folder is cut off.
enum class Stop { quitBeforeCopying, quitWhileCopying, copyFails, killedWhileCopying };

bool containsAll(const QStringList& list, const QStringList& wanted)
{
    return std::all_of(wanted.begin(), wanted.end(), [&](const QString& name) { return list.contains(name); });
}

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
        QVERIFY(state->storagePreferences().isUsingiCloud());
        QVERIFY(state->storagePreferences().storageLocation() == LibraryStorageLocation::automatic);
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
        QSignalSpy changed(&state->storagePreferences(), &PlaylistStoragePreferences::storageLocationChanged);
        rig.log.clear();

        state->storagePreferences().setStorageLocation(to);
        QCOMPARE(changed.size(), 1);
        QVERIFY(rig.switched(*state));
        QCOMPARE(rig.settings()->value(AppState::libraryStorageLocationKey).toString(), toString(to));
        QCOMPARE(&state->playlistLibrary(), library);
        QCOMPARE(rig.appLines(), QStringList());
        QCOMPARE(state->storagePreferences().isUsingiCloud(), cloud);
    }

    void sameValueAgainDoesNothing()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        QSignalSpy changed(&state->storagePreferences(), &PlaylistStoragePreferences::storageLocationChanged);
        state->storagePreferences().setStorageLocation(LibraryStorageLocation::automatic);
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

        state->storagePreferences().setStorageLocation(LibraryStorageLocation::local);
        QVERIFY(rig.switched(*state));
        QCOMPARE(libraryChanged.size(), 1);
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "Road"}));
        const QList<PlaylistTrack> mix = state->playlistLibrary().playlist(u"Mix"_s)->tracks;
        QVERIFY(!mix.isEmpty());
        QCOMPARE(mix.constFirst().ref.uri(), u"local-mix"_s);
        QCOMPARE(fileContent(rig.local + u"/Road.parvik"_s), "#parvik:2\ncloud-road\n");
        QCOMPARE(fileContent(rig.cloudPlaylists + u"/Mix.parvik"_s), "#parvik:2\ncloud-mix\n");
        QVERIFY(!state->storagePreferences().isUsingiCloud());
        QVERIFY(describeException(state->scanErrors().scanError()).contains(u"kept as they are there: Mix. "_s));
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
        QSignalSpy changed(&state->storagePreferences(), &PlaylistStoragePreferences::cloudContainerDirectoryChanged);

        state->storagePreferences().setCloudContainerDirectory(other + u'/');
        QCOMPARE(changed.size(), 1);
        QCOMPARE(state->storagePreferences().cloudContainerDirectory(), other);
        QVERIFY(rig.switched(*state));
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "Road"}));
        QCOMPARE(fileContent(other + u"/playlists/Mix.parvik"_s), "#parvik:2\ncloud-mix\n");
        QVERIFY(
            rig.appLines().contains(u"Migrating playlists from %1 to %2/playlists"_s.arg(rig.cloudPlaylists, other)));

        // The new folder is the one watched now.
        writeFile(other + u"/playlists/New.parvik"_s, "#parvik:2\n");
        QTRY_COMPARE_WITH_TIMEOUT(names(*state), (QStringList{"Starred", "Mix", "New", "Road"}), timeoutMs);

        // No cloud folder any more: back to the local folder, with the playlists.
        state->storagePreferences().setCloudContainerDirectory(QString());
        QVERIFY(rig.switched(*state));
        QVERIFY(!rig.settings()->contains(PlaylistDirectory::cloudContainerDirectoryKey));
        QVERIFY(QFileInfo::exists(rig.local + u"/New.parvik"_s));
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "New", "Road"}));
    }

    // A copy that fails is logged and shown, and the switch is undone: the
    // library and the preferences stay with the old folder.
    void failedSwitchIsUndone()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.startedInCloud();
        QVERIFY(state);
        const PlaylistLibrary* library = &state->playlistLibrary();
        const QString other = rig.home.filePath(u"other"_s);
        writeFile(other + u"/playlists"_s, "a file where the playlist folder should be");
        QSignalSpy errors(&state->scanErrors(), &ScanErrorState::scanErrorChanged);
        QSignalSpy folderChanged(&state->storagePreferences(),
                                 &PlaylistStoragePreferences::cloudContainerDirectoryChanged);
        rig.log.clear();

        state->storagePreferences().setCloudContainerDirectory(other);
        QVERIFY(rig.switched(*state));
        QCOMPARE(errors.size(), 1);
        const QString failure = u"Could not create the playlist folder %1/playlists: Not a directory"_s.arg(other);
        QCOMPARE(describeException(state->scanErrors().scanError()), failure);
        QCOMPARE(rig.appLines().value(1), u"Playlist migration failed: "_s + failure);
        QCOMPARE(&state->playlistLibrary(), library);
        QCOMPARE(folderChanged.size(), 2); // chosen, then given back
        QCOMPARE(state->storagePreferences().cloudContainerDirectory(), rig.cloud);
        QCOMPARE(rig.settings()->value(PlaylistDirectory::cloudContainerDirectoryKey).toString(), rig.cloud);
        QVERIFY(state->storagePreferences().isUsingiCloud());
    }

    // Back to the local folder after starring in the cloud folder: the local
    // Starred, still empty, takes the cloud's; a local Mix that differs is
    // kept; the user is told both.
    void switchingBackKeepsTheTargetsPlaylistsAndSaysSo()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        state->storagePreferences().setCloudContainerDirectory(rig.cloud);
        QVERIFY(rig.switched(*state));
        QVERIFY(!state->scanErrors().scanError());
        state->playlistLibrary().star(TrackRef(u"starred-in-the-cloud"_s));
        writeFile(rig.local + u"/Mix.parvik"_s, "#parvik:2\nlocal-mix\n");
        const QByteArray cloudStarred = fileContent(rig.cloudPlaylists + u"/Starred.parvik"_s);
        rig.log.clear();

        state->storagePreferences().setStorageLocation(LibraryStorageLocation::local);
        QVERIFY(rig.switched(*state));
        QVERIFY(rig.appLines().contains(u"Migrated 2 playlist(s)"_s)); // Starred and Road
        QCOMPARE(describeException(state->scanErrors().scanError()),
                 u"These playlists were already in %1 and were kept as they are there: Mix. Their other versions "
                 "were not copied; they are still in %2. Starred in %1 was empty; it now holds the tracks starred "
                 "in %2, which keeps them too."_s.arg(rig.local, rig.cloudPlaylists));
        QVERIFY(state->playlistLibrary().isStarred(TrackRef(u"starred-in-the-cloud"_s)));
        QCOMPARE(fileContent(rig.local + u"/Starred.parvik"_s), cloudStarred);
        QCOMPARE(fileContent(rig.cloudPlaylists + u"/Starred.parvik"_s), cloudStarred);
        QCOMPARE(fileContent(rig.local + u"/Mix.parvik"_s), "#parvik:2\nlocal-mix\n");
    }

    // A switch into the cloud folder cut off at several points: the next
    // start is in the old folder, which holds every playlist, Starred as it
    // was, and no temporary copy is left.
    void interruptedSwitchLosesNothing_data()
    {
        QTest::addColumn<int>("stop");
        QTest::newRow("quit before copying") << int(Stop::quitBeforeCopying);
        QTest::newRow("quit while copying") << int(Stop::quitWhileCopying);
        QTest::newRow("a copy fails") << int(Stop::copyFails);
        QTest::newRow("killed while copying") << int(Stop::killedWhileCopying);
    }

    void interruptedSwitchLosesNothing()
    {
        QFETCH(int, stop);
        StorageRig rig;
        writeFile(rig.local + u"/Starred.parvik"_s, "#parvik:2\nstarred-song\n");
        QStringList localNames{"Starred"};
        const QByteArray big = "#parvik:2\n" + QByteArray(2 * 1024 * 1024, 'p') + '\n';
        for (int i = 0; i < 6; ++i) {
            writeFile(rig.local + u"/Big %1.parvik"_s.arg(i), big);
            localNames.append(u"Big %1"_s.arg(i));
        }
        std::unique_ptr<AppState> state = rig.started(localNames);
        QVERIFY(state);

        if (stop == int(Stop::killedWhileCopying)) {
            // What a kill leaves: the journal, some copies, a partial hidden one.
            rig.settings()->setValue(PlaylistStorageSwitcher::copyingIntoKey, rig.cloudPlaylists);
            writeFile(rig.cloudPlaylists + u"/Big 0.parvik"_s, big);
            writeFile(rig.cloudPlaylists + u"/.parvik-copy-Xy12Ab"_s, big.left(5000));
        } else if (stop == int(Stop::copyFails)) {
            rlimit previous{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limited{64 * 1024, previous.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
            state->storagePreferences().setCloudContainerDirectory(rig.cloud);
            const bool switched = rig.switched(*state);
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, previousHandler);
            QVERIFY(switched);
            QVERIFY(describeException(state->scanErrors().scanError())
                        .startsWith(u"Could not copy the playlist file 'Big "_s));
            QCOMPARE(state->storagePreferences().cloudContainerDirectory(), QString());
            QCOMPARE(names(*state), localNames);
        } else {
            state->storagePreferences().setCloudContainerDirectory(rig.cloud);
            if (stop == int(Stop::quitWhileCopying)) // as the copy starts
                QTRY_VERIFY_WITH_TIMEOUT(rig.settings()->contains(PlaylistStorageSwitcher::copyingIntoKey), timeoutMs);
        }
        state.reset();
        QCOMPARE(rig.settings()->contains(PlaylistStorageSwitcher::copyingIntoKey),
                 stop == int(Stop::quitWhileCopying) || stop == int(Stop::killedWhileCopying));

        state = rig.start();
        QVERIFY(state);
        QTRY_VERIFY_WITH_TIMEOUT(containsAll(names(*state), localNames), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!state->isSwitchingStorage(), timeoutMs);
        QCOMPARE(state->playlistLibrary().starred().tracks.size(), 1);
        QCOMPARE(state->playlistLibrary().starred().tracks.value(0).ref.uri(), u"starred-song"_s);
        QCOMPARE(QDir(rig.cloudPlaylists).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression(u"^\\."_s)),
                 QStringList());
        QVERIFY(!rig.settings()->contains(PlaylistStorageSwitcher::copyingIntoKey));
        QVERIFY(!state->storagePreferences().isUsingiCloud());
    }

    void anUnreadablePlaylistFolderIsReported()
    {
        StorageRig rig;
        writeFile(rig.local, "a file where the playlist folder should be");
        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        QTRY_VERIFY(state->scanErrors().scanError());
        QVERIFY2(describeException(state->scanErrors().scanError()).contains(u"Not a directory"_s),
                 qPrintable(describeException(state->scanErrors().scanError())));
        QVERIFY(rig.appLines().contains(u"Failed to load playlists: "_s
                                        + describeException(state->scanErrors().scanError())));
        QVERIFY(state->playlistLibrary().playlists().isEmpty());
        // Starring names that cause too.
        QString starError;
        try {
            state->playlistLibrary().star(TrackRef(u"vez:track:A:B:C"_s));
        } catch (...) {
            starError = describeException(std::current_exception());
        }
        QCOMPARE(starError,
                 u"Failed to save playlist 'Starred': "_s + describeException(state->scanErrors().scanError()));
    }

    // Settings: the location first, then a cloud folder that works. Until
    // the folder is chosen the playlists stay where they are, and no line
    // says that something was unavailable.
    void cloudFolderChosenAfterTheLocation()
    {
        StorageRig rig;
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        rig.log.clear();
        state->storagePreferences().setStorageLocation(LibraryStorageLocation::icloud);
        QVERIFY(rig.switched(*state));
        QVERIFY(!state->storagePreferences().isUsingiCloud());
        state->storagePreferences().setCloudContainerDirectory(rig.cloud);
        QVERIFY(rig.switched(*state));
        QCOMPARE(names(*state), (QStringList{"Starred", "Mix", "Road"}));
        QVERIFY(state->storagePreferences().isUsingiCloud());
        QCOMPARE(rig.appLines().mid(0, 2),
                 (QStringList{u"Migrating playlists from %1 to %2"_s.arg(rig.local, rig.cloudPlaylists),
                              u"Migrated 1 playlist(s)"_s}));
        QCOMPARE(rig.appLines().filter(u"unavailable"_s), QStringList());
    }

    void cloudRequestedButUnavailable()
    {
        StorageRig rig;
        rig.settings()->setValue(AppState::libraryStorageLocationKey, u"icloud"_s);
        // A cloud folder chosen once, and gone since.
        rig.settings()->setValue(PlaylistDirectory::cloudContainerDirectoryKey, rig.home.filePath(u"gone"_s));
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        const QString fallback = u"Cloud folder requested but unavailable, falling back to local storage"_s;
        QCOMPARE(rig.appLines().count(fallback), 1);
        QVERIFY(QFileInfo::exists(rig.local + u"/Starred.parvik"_s));
        QVERIFY(state->storagePreferences().storageLocation() == LibraryStorageLocation::icloud);
        QVERIFY(!state->storagePreferences().isUsingiCloud());
        QCOMPARE(rig.appLines().count(fallback), 2); // every resolution logs it
        QVERIFY(!rig.log.contains(watcherCategory, u"Started watching the cloud folder for *.parvik files"_s));
    }

    void unknownStoredLocationIsAutomatic()
    {
        StorageRig rig;
        rig.settings()->setValue(AppState::libraryStorageLocationKey, u"iCloud"_s);
        std::unique_ptr<AppState> state = rig.started({"Starred"});
        QVERIFY(state);
        QVERIFY(state->storagePreferences().storageLocation() == LibraryStorageLocation::automatic);
        QCOMPARE(rig.settings()->value(AppState::libraryStorageLocationKey).toString(), u"iCloud"_s);
    }
};

QTEST_GUILESS_MAIN(AppStatePlaylistStorageTest)
#include "tst_appstateplayliststorage.moc"
