#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "Vessa/App/Library/MusicFolderWatcher.h"
#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/App/NowPlaying/EqualizerState.h"
#include "Vessa/App/NowPlaying/SavedPlaybackState.h"
#include "Vessa/App/NowPlaying/VolumeState.h"
#include "VessaCore/Error.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/FreedMemory.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/AllocatorProbe.h"
#include "tests/support/DatabaseDamage.h"
#include "tests/support/FileFixture.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>

#include <sqlite3.h>

using namespace vessa;
using namespace vessa::test;

namespace {

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// The SIGTERM handler in place now (the test library installs one of its own).
void* sigtermHandler()
{
    struct sigaction current = {};
    sigaction(SIGTERM, nullptr, &current);
    return reinterpret_cast<void*>(current.sa_sigaction);
}

class TestError : public Error {
public:
    QString description() const override { return QStringLiteral("earlier failure"); }
};

} // namespace

class AppStateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    void firstLaunch()
    {
        AppStateRig rig;
        const int threadsBefore = threadCount();
        void* const handlerBefore = sigtermHandler();
        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        const QString data = rig.home.filePath(QStringLiteral(".qttest/share/Tornwick"));
        QCOMPARE(AppState::databasePath(), data + QStringLiteral("/media.db"));
        QVERIFY(QFileInfo::exists(AppState::databasePath()));
        QVERIFY(state->watchedDirectories().isEmpty());
        QVERIFY(!state->isScanning() && !state->scanProgress() && state->scannedTracks().isEmpty());
        QVERIFY(!state->scanErrors().scanError());
        QCOMPARE(state->audioOutput().volume(), 0.75f * 0.75f * 0.75f);
        QCOMPARE(state->equalizerState().selectedPreset(), QStringLiteral("Flat"));
        QVERIFY(!state->equalizerState().bypassed());
        // Three decoders; the local library is the one source.
        QCOMPARE(state->pluginRegistry().decoders().size(), 3);
        QCOMPARE(state->pluginRegistry().sources().size(), 1);
        QVERIFY(state->pluginRegistry().allSupportedExtensions().contains(QStringLiteral("flac")));
        // The playlists load after the constructor returned: "Starred" is made.
        QVERIFY(state->playlistLibrary().playlists().isEmpty());
        QTRY_COMPARE(state->playlistLibrary().playlists().size(), 1);
        QVERIFY(QFileInfo::exists(data + QStringLiteral("/playlists/Starred.parvik")));
        QVERIFY(threadCount() > threadsBefore);
        QVERIFY(sigtermHandler() != handlerBefore);
        // The allocator's policy is the program's to set, not the state's.
        QCOMPARE(mappedOnItsOwnAfterALargerFree(FreedMemory::separateMappingThreshold).value_or(false), false);
        // Nothing was written to the settings.
        QVERIFY(rig.settings()->allKeys().isEmpty());

        state.reset();
        QCOMPARE(sigtermHandler(), handlerBefore);
    }

    void savedVolume_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<float>("expected");
        const float fallback = 0.75f * 0.75f * 0.75f;
        QTest::newRow("absent") << QVariant() << fallback;
        QTest::newRow("a half") << QVariant(0.5) << 0.125f;
        QTest::newRow("a number as text") << QVariant(QStringLiteral("0.5")) << 0.125f;
        QTest::newRow("not a number") << QVariant(QStringLiteral("loud")) << fallback;
        QTest::newRow("nan") << QVariant(QStringLiteral("nan")) << fallback;
        QTest::newRow("above the range") << QVariant(2.0) << 1.0f;
        QTest::newRow("below the range") << QVariant(-1.0) << 0.0f;
    }
    void savedVolume()
    {
        QFETCH(QVariant, stored);
        QFETCH(float, expected);
        AppStateRig rig;
        if (stored.isValid())
            rig.settings()->setValue(VolumeState::settingsKey, stored);
        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        QCOMPARE(state->audioOutput().volume(), expected);
        QVERIFY(!rig.settings()->contains(QStringLiteral("playbackState")));
    }

    void savedEqualizerReachesTheNextLaunch()
    {
        AppStateRig rig;
        rig.start()->equalizerState().applyPreset(QStringLiteral("Rock"));
        std::unique_ptr<AppState> state = rig.start();
        QCOMPARE(state->equalizerState().selectedPreset(), QStringLiteral("Rock"));
        QCOMPARE(state->equalizerState().bands(), EqualizerState::presets().value(QStringLiteral("Rock")));
    }

    void unwritableDatabaseStartsNothing()
    {
        AppStateRig rig;
        // A file where the folder of the database must go.
        const QString blocker = rig.home.filePath(QStringLiteral(".qttest/share/Tornwick"));
        writeFile(blocker, {});
        QString expected;
        try {
            MediaDatabase database(AppState::databasePath());
        } catch (const Error& error) {
            expected = error.description();
        }
        QVERIFY(!expected.isEmpty());
        const int threadsBefore = threadCount();
        void* const handlerBefore = sigtermHandler();
        const AppState::Creation creation = rig.create();
        QVERIFY(!creation.appState);
        QCOMPARE(creation.error, expected);
        QCOMPARE(threadCount(), threadsBefore);
        QCOMPARE(sigtermHandler(), handlerBefore);
        QVERIFY(rig.appLines().isEmpty());
    }

    void unusableIndexIsKeptAndReplaced_data()
    {
        QTest::addColumn<DatabaseDamage>("damage");
        QTest::addColumn<QString>("keptAs");
        QTest::addColumn<QString>("cause");
        QTest::newRow("damaged") << DatabaseDamage::damagedPage << "media.db.damaged-"
                                 << "is damaged";
        QTest::newRow("truncated") << DatabaseDamage::truncated << "media.db.damaged-"
                                   << "is damaged";
        QTest::newRow("text") << DatabaseDamage::text << "media.db.damaged-"
                              << "is damaged: file is not a database";
        QTest::newRow("newer version") << DatabaseDamage::newerVersion << "media.db.newer-"
                                       << "newer version";
    }
    void unusableIndexIsKeptAndReplaced()
    {
        QFETCH(DatabaseDamage, damage);
        QFETCH(QString, keptAs);
        QFETCH(QString, cause);
        AppStateRig rig;
        const QString folder = rig.folder(QStringLiteral("a"));
        QVERIFY(!rig.writeWav(QStringLiteral("a/one.wav")).isEmpty());
        {
            std::unique_ptr<AppState> first = rig.start();
            first->addWatchedDirectory(folder);
            QVERIFY(AppStateRig::scanned(*first) && first->scannedTracks().size() == 1);
        }
        const QString path = AppState::databasePath();
        QVERIFY(damageDatabase(path, damage));
        const QByteArray bytes = fileContent(path);
        const QByteArray wal = walFrames(path);

        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        // Damaged pages are found in the background, soon after the start.
        QTRY_VERIFY(state->scanErrors().scanError());
        const QDir data = QFileInfo(path).dir();
        const QStringList kept = data.entryList({keptAs
                                                 + "????????"
                                                   "-??????"},
                                                QDir::Files);
        QCOMPARE(kept.size(), 1);
        const QString keptPath = data.filePath(kept.constFirst());
        QCOMPARE(fileContent(keptPath), bytes);
        QCOMPARE(walFrames(keptPath), wal);
        // Told once, in words that name both files, and logged.
        const QString notice = describeException(state->scanErrors().scanError());
        QVERIFY2(notice.contains(cause) && notice.contains(path + ' ') && notice.contains(keptPath + ','),
                 qPrintable(notice));
        QCOMPARE(rig.appLines().filter(QStringLiteral("It is kept as")), QStringList{notice});
        // The music folders fill the new index; the notice outlasts the scan.
        QVERIFY(AppStateRig::scanned(*state));
        QCOMPARE(state->scannedTracks().size(), 1);
        QCOMPARE(describeException(state->scanErrors().scanError()), notice);
        // Killed before the notice was shown: it is on the disk already and
        // is told at the next start, until its alert is dismissed.
        QVERIFY(fileContent(rig.settingsFile()).contains(AppState::startupNoticeKey.data()));
        state.reset();
        state = rig.start();
        QCOMPARE(describeException(state->scanErrors().scanError()), notice);
        QCOMPARE(rig.appLines().filter(QStringLiteral("It is kept as")), QStringList{notice});
        // Cleared without the user's "OK" (the alert closed at quit): kept.
        state->scanErrors().setScanError(nullptr);
        QVERIFY(fileContent(rig.settingsFile()).contains(AppState::startupNoticeKey.data()));
        state.reset();
        state = rig.start();
        state->scanErrors().acknowledgeScanError();
        QVERIFY(!fileContent(rig.settingsFile()).contains(AppState::startupNoticeKey.data()));
        state.reset();
        QVERIFY(!rig.start()->scanErrors().scanError());
    }

    // The page check stores the notice of a file it sets aside from its own
    // thread, before the alert can show it: an OK given meanwhile forgets
    // only the paragraphs the alert showed.
    void theUsersOkForgetsOnlyWhatItShowed()
    {
        AppStateRig rig;
        rig.settings()->setValue(AppState::startupNoticeKey, QStringList{"Told at the start."});
        std::unique_ptr<AppState> state = rig.start();
        QCOMPARE(describeException(state->scanErrors().scanError()), QStringLiteral("Told at the start."));
        // As the check's thread writes: through settings of its own on the file.
        const std::unique_ptr<QSettings> other = rig.settings();
        other->setValue(AppState::startupNoticeKey, QStringList{"Told at the start.", "Checked later."});
        other->sync();
        state->scanErrors().acknowledgeScanError();
        QVERIFY(!state->scanErrors().scanError());
        state.reset();
        QCOMPARE(describeException(rig.start()->scanErrors().scanError()), QStringLiteral("Checked later."));
    }

    void unusableSettingsFolderIsNamed_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder is a file") << "blocker/vessa.ini"
                                          << "Settings cannot be saved in %1/blocker: it is a file, not a folder.";
        QTest::newRow("a folder above is a file")
            << "blocker/deeper/vessa.ini"
            << "Settings cannot be saved in %1/blocker/deeper: '%1/blocker' is a file, not a folder.";
        QTest::newRow("file is a folder") << "folder.ini"
                                          << "Settings cannot be read from %1/folder.ini: it is a folder.";
    }
    void unusableSettingsFolderIsNamed()
    {
        QFETCH(QString, settings);
        QFETCH(QString, expected);
        AppStateRig rig;
        writeFile(rig.home.filePath(QStringLiteral("blocker")), "a file");
        QVERIFY(QDir(rig.home.path()).mkpath(QStringLiteral("folder.ini")));
        expected = expected.arg(rig.home.path());
        AppState::Creation creation =
            AppState::create(std::make_unique<QSettings>(rig.home.filePath(settings), QSettings::IniFormat));
        QVERIFY(creation.appState);
        QCOMPARE(describeException(creation.appState->scanErrors().scanError()), expected);
        QCOMPARE(rig.appLines(), QStringList{expected});
    }

    void musicFoldersAndTheirSetting()
    {
        AppStateRig rig;
        const QString a = rig.folder(QStringLiteral("a"));
        const QString b = rig.folder(QStringLiteral("b"));
        {
            std::unique_ptr<AppState> state = rig.start();
            QSignalSpy changes(state.get(), &AppState::watchedDirectoriesChanged);
            state->addWatchedDirectory(a + QStringLiteral("/"));
            state->addWatchedDirectory(QDir(a).filePath(QStringLiteral("../a")));
            state->addWatchedDirectory(b);
            QCOMPARE(state->watchedDirectories(), (QStringList{a, b}));
            QCOMPARE(changes.size(), 2);
            QCOMPARE(rig.appLines(), (QStringList{"Adding watched directory: " + a, "Adding watched directory: " + b}));
            QCOMPARE(rig.settings()->value(QStringLiteral("watchedDirectories")).toStringList(), (QStringList{a, b}));
            state->removeWatchedDirectory(a);
            QCOMPARE(state->watchedDirectories(), QStringList{b});
            QVERIFY(rig.appLines().contains("Removing watched directory: " + a));
            // A folder that is not in the list: still logged, nothing else changes.
            state->removeWatchedDirectory(rig.folder(QStringLiteral("c")));
            QCOMPARE(changes.size(), 3);
        }
        // The next launch finds the folders, a missing one included.
        QVERIFY(QDir(b).removeRecursively());
        std::unique_ptr<AppState> state = rig.start();
        QCOMPARE(state->watchedDirectories(), QStringList{b});
        QCOMPARE(state->trackCount(b), 0);
    }

    void scanPublishesTheLibraryAsTheQueue()
    {
        AppStateRig rig;
        std::unique_ptr<AppState> state = rig.start();
        const QString a = rig.folder(QStringLiteral("a"));
        for (const char* name : {"a/one.wav", "a/two.wav", "a/sub/three.wav"})
            QVERIFY(!rig.writeWav(QString::fromLatin1(name)).isEmpty());
        state->addWatchedDirectory(a);
        QSignalSpy scanning(state.get(), &AppState::isScanningChanged);
        QVERIFY(AppStateRig::scanned(*state));
        QCOMPARE(state->scannedTracks().size(), 3);
        QCOMPARE(state->trackCount(a), 3);
        QCOMPARE(state->scanProgress(), std::optional<LibraryScanProgress>(LibraryScanProgress{3, 3}));
        QList<TrackRef> refs;
        for (const ScannedTrack& track : state->scannedTracks())
            refs.append(track.ref());
        QCOMPARE(state->playContext().queue(), refs);
        for (const TrackRef& ref : refs)
            QVERIFY(state->availabilityIndex().availability(ref) == TrackAvailability::available);
        QCOMPARE(state->playContext().currentIndex(), std::optional<qsizetype>(0));
        QCOMPARE(state->playContext().queueID(), std::optional<QString>());
        QCOMPARE(scanning.size(), 2);
        QVERIFY(rig.appLines().contains(QStringLiteral("Starting scan of 1 directories")));
        QVERIFY(rig.appLines().contains(QStringLiteral("Scan complete: 3 tracks")));
    }

    // A library change loads the library only over the library's own queue.
    void libraryChangeLeavesAPlaylistsQueue_data()
    {
        QTest::addColumn<QString>("queueID"); // null: none
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("followsLibrary");
        QTest::newRow("library, rescan") << QStringLiteral("library") << "rescan" << true;
        QTest::newRow("library, file events") << QStringLiteral("library") << "file events" << true;
        QTest::newRow("library, reload") << QStringLiteral("library") << "reload" << true;
        QTest::newRow("no identity, rescan") << QString() << "rescan" << true;
        QTest::newRow("playlist, rescan") << QStringLiteral("Mix") << "rescan" << false;
        QTest::newRow("playlist, file events") << QStringLiteral("Mix") << "file events" << false;
        QTest::newRow("playlist, reload") << QStringLiteral("Mix") << "reload" << false;
        QTest::newRow("document, file events") << QStringLiteral("file:///p/mix.parvik") << "file events" << false;
    }
    void libraryChangeLeavesAPlaylistsQueue()
    {
        QFETCH(QString, queueID);
        QFETCH(QString, change);
        QFETCH(bool, followsLibrary);
        AppStateRig rig;
        std::unique_ptr<AppState> state = rig.start();
        const QString a = rig.folder(QStringLiteral("a"));
        for (const char* name : {"a/one.wav", "a/two.wav", "a/three.wav"})
            QVERIFY(!rig.writeWav(QString::fromLatin1(name)).isEmpty());
        QSignalSpy watched(&state->folderWatcher(), &MusicFolderWatcher::watchApplied);
        state->addWatchedDirectory(a);
        QVERIFY(AppStateRig::scanned(*state));
        PlayContext& context = state->playContext();
        const QList<TrackRef> library = context.queue();
        const QList<TrackRef> queue{library[2], library[0], library[2]};
        context.loadQueue(queue, 2, QList<std::optional<QString>>{QStringLiteral("three.wav")},
                          QStringLiteral("/p/mix.parvik"),
                          queueID.isNull() ? std::optional<QString>() : std::optional<QString>(queueID));
        QSignalSpy queueChanged(&context, &PlayContext::queueChanged);
        QSignalSpy published(state.get(), &AppState::scannedTracksChanged);

        if (change == QStringLiteral("reload")) {
            state->reloadTracksFromDatabase();
            QVERIFY(published.wait(10000));
        } else {
            if (change == QStringLiteral("file events"))
                QTRY_VERIFY(!watched.isEmpty());
            QVERIFY(!rig.writeWav(QStringLiteral("a/four.wav")).isEmpty());
            if (change == QStringLiteral("rescan"))
                QVERIFY(AppStateRig::scanned(*state));
            QVERIFY(AppStateRig::holds(*state, 4));
        }
        QList<TrackRef> refs;
        for (const ScannedTrack& track : state->scannedTracks())
            refs.append(track.ref());
        if (followsLibrary) {
            QCOMPARE(context.queue(), refs);
            QCOMPARE(context.queueID(), std::optional<QString>());
        } else {
            QCOMPARE(context.queue(), queue);
            QCOMPARE(context.currentIndex(), std::optional<qsizetype>(2));
            QCOMPARE(context.queueID(), std::optional<QString>(queueID));
            QVERIFY(queueChanged.isEmpty());
        }
    }

    void rescansInARowEndOnce()
    {
        AppStateRig rig;
        std::unique_ptr<AppState> state = rig.start();
        const QString a = rig.folder(QStringLiteral("a"));
        for (int i = 0; i < 12; ++i)
            QVERIFY(!rig.writeWav(QStringLiteral("a/track%1.wav").arg(i)).isEmpty());
        state->addWatchedDirectory(a);
        QSignalSpy scanning(state.get(), &AppState::isScanningChanged);
        for (int i = 0; i < 3; ++i)
            state->rescanAll();
        QVERIFY(state->isScanning());
        QTRY_VERIFY_WITH_TIMEOUT(!state->isScanning(), 20000);
        QCOMPARE(scanning.size(), 2); // on with the first request, off once at the end
        QCOMPARE(state->scannedTracks().size(), 12);
        QCOMPARE(state->playContext().queue().size(), 12);
        QVERIFY(!QTest::qWaitFor([&] { return scanning.size() > 2; }, 200));
    }

    void rescanWithoutFoldersDoesNothing()
    {
        AppStateRig rig;
        std::unique_ptr<AppState> state = rig.start();
        state->scanErrors().setScanError(std::make_exception_ptr(TestError()));
        QSignalSpy scanning(state.get(), &AppState::isScanningChanged);
        state->rescanAll();
        QVERIFY(!state->isScanning() && scanning.isEmpty());
        QCOMPARE(describeException(state->scanErrors().scanError()), QStringLiteral("earlier failure"));
        QVERIFY(rig.appLines().isEmpty());
    }

    void watcherAskingForARescanScans()
    {
        AppStateRig rig;
        std::unique_ptr<AppState> state = rig.start();
        state->addWatchedDirectory(rig.folder(QStringLiteral("a")));
        QVERIFY(!rig.writeWav(QStringLiteral("a/one.wav")).isEmpty());
        // As the watcher reports lost events: the same as the Rescan button.
        emit state->folderWatcher().filesChanged(DirectoryWatcher::EventBatch{{}, {}, true});
        QVERIFY(state->isScanning());
        QVERIFY(rig.appLines().contains(QStringLiteral("inotify requested full rescan")));
        QVERIFY(rig.appLines().contains(QStringLiteral("Starting scan of 1 directories")));
        QVERIFY(AppStateRig::holds(*state, 1));
        QTRY_VERIFY(!state->isScanning());
    }

    void removingAFolderRemovesItsTracks()
    {
        AppStateRig rig;
        std::unique_ptr<AppState> state = rig.start();
        const QString a = rig.folder(QStringLiteral("a"));
        const QString b = rig.folder(QStringLiteral("b"));
        QVERIFY(!rig.writeWav(QStringLiteral("a/one.wav")).isEmpty());
        QVERIFY(!rig.writeWav(QStringLiteral("b/two.wav")).isEmpty());
        QVERIFY(!rig.writeWav(QStringLiteral("b/three.wav")).isEmpty());
        state->addWatchedDirectory(a);
        state->addWatchedDirectory(b);
        QVERIFY(AppStateRig::scanned(*state));
        QCOMPARE(state->trackCount(b), 2);
        const TrackRef removed = state->scannedTracks().last().ref();
        QVERIFY(state->availabilityIndex().availability(removed) == TrackAvailability::available);
        state->removeWatchedDirectory(b);
        QVERIFY(AppStateRig::holds(*state, 1));
        QVERIFY(state->availabilityIndex().availability(removed) == TrackAvailability::unavailable);
        QCOMPARE(state->scannedTracks().first().fileURL(), a + QStringLiteral("/one.wav"));
        QCOMPARE(state->trackCount(b), 0);
        QCOMPARE(state->trackCount(a), 1);
        QCOMPARE(state->playContext().queue().size(), 1);
        QVERIFY(!state->isScanning());
    }

    void savedStateIsAppliedAtTheFirstReloadOnly_data()
    {
        QTest::addColumn<QByteArray>("record"); // empty: saved by this version
        QTest::newRow("saved by this version") << QByteArray();
        QTest::newRow("saved by an earlier version")
            << QByteArray(R"({"repeatMode":"one","shuffleEnabled":true,"currentTrackURI":"%1"})");
    }
    void savedStateIsAppliedAtTheFirstReloadOnly()
    {
        QFETCH(QByteArray, record);
        AppStateRig rig;
        const QString a = rig.folder(QStringLiteral("a"));
        const QString b = rig.folder(QStringLiteral("b"));
        for (const char* name : {"a/one.wav", "a/two.wav", "a/three.wav", "b/four.wav"})
            QVERIFY(!rig.writeWav(QString::fromLatin1(name)).isEmpty());
        TrackRef saved;
        {
            std::unique_ptr<AppState> state = rig.start();
            state->addWatchedDirectory(a);
            state->addWatchedDirectory(b);
            QVERIFY(AppStateRig::scanned(*state));
            saved = state->scannedTracks()[2].ref();
            state->playContext().restorePosition(saved, std::nullopt);
            state->playContext().setRepeatMode(RepeatMode::one);
            state->playContext().setShuffleEnabled(true);
            state->savePlaybackState();
        }
        if (!record.isEmpty())
            rig.settings()->setValue(QStringLiteral("playbackState"), record.replace("%1", saved.uri().toUtf8()));
        std::unique_ptr<AppState> state = rig.start();
        // The main window's first appearance: a reload from the database.
        state->reloadTracksFromDatabase();
        QVERIFY(AppStateRig::holds(*state, 4));
        QVERIFY(state->playContext().repeatMode() == RepeatMode::one);
        QVERIFY(state->playContext().shuffleEnabled());
        QCOMPARE(state->playContext().currentTrack(), std::optional<TrackRef>(saved));
        QVERIFY(state->player().transportState() == TransportState::idle());
        QVERIFY(rig.appLines().contains(QStringLiteral("Restored playback state: repeat=one, shuffle=true")));
        // Later reloads leave the user's changes alone.
        state->playContext().setShuffleEnabled(false);
        state->playContext().setRepeatMode(RepeatMode::off);
        state->removeWatchedDirectory(b);
        QVERIFY(AppStateRig::holds(*state, 3));
        QVERIFY(!state->playContext().shuffleEnabled());
        QVERIFY(state->playContext().repeatMode() == RepeatMode::off);
        QCOMPARE(state->playContext().currentTrack(), std::optional<TrackRef>(saved));
    }

    void scanErrorReachesTheField()
    {
        AppStateRig rig;
        std::unique_ptr<AppState> state = rig.start();
        const QString a = rig.folder(QStringLiteral("a"));
        QVERIFY(!rig.writeWav(QStringLiteral("a/one.wav")).isEmpty());
        state->addWatchedDirectory(a);
        // Every row written from now on fails, through a second connection.
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(AppState::databasePath()).constData(), &db), SQLITE_OK);
        const char* trigger =
            "CREATE TRIGGER refuse BEFORE INSERT ON tracks BEGIN SELECT RAISE(ABORT, 'disk full'); END;";
        QCOMPARE(sqlite3_exec(db, trigger, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        QSignalSpy errors(&state->scanErrors(), &ScanErrorState::scanErrorChanged);
        QVERIFY(AppStateRig::scanned(*state));
        QVERIFY(state->scanErrors().scanError());
        QVERIFY(describeException(state->scanErrors().scanError()).contains(QStringLiteral("disk full")));
        QVERIFY(rig.appLines().contains("Scan failed: " + describeException(state->scanErrors().scanError())));
        QVERIFY(state->scannedTracks().isEmpty());
        // The next scan clears the field first.
        errors.clear();
        state->rescanAll();
        QVERIFY(!errors.isEmpty() && !state->scanErrors().scanError());
        QTRY_VERIFY_WITH_TIMEOUT(!state->isScanning(), 20000);
    }
};

QTEST_GUILESS_MAIN(AppStateTest)
#include "tst_appstate.moc"
