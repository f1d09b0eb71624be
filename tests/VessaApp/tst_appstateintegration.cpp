#include "Oblin/PlayContext.h"
#include "Vessa/App/Library/MusicFolderWatcher.h"
#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/App/NowPlaying/NowPlayingBridge.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/FfmpegTool.h"

#include <QSignalSpy>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;

// The whole app state over real files: hand-made WAV files and a FLAC file
// made by ffmpeg, the real decoders, the SDL output on its dummy driver, the
// media database and the inotify watcher.
class AppStateIntegrationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    void libraryFromRealFiles()
    {
        AppStateRig rig;
        const QString music = rig.folder(QStringLiteral("library"));
        // 30 seconds, so that it still plays when the test ends.
        QVERIFY(!rig.writeWav(QStringLiteral("library/b-long.wav"), 44100 * 30).isEmpty());
        QVERIFY(!rig.writeWav(QStringLiteral("library/c-short.wav")).isEmpty());
        const QString flac = music + QStringLiteral("/tagged.flac");
        QCOMPARE(runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=330:duration=1", "-metadata", "title=Flac Song",
                            "-metadata", "artist=Someone", "-metadata", "album=Record", flac}),
                 QString());

        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        QSignalSpy watched(&state->folderWatcher(), &MusicFolderWatcher::watchApplied);
        state->addWatchedDirectory(music);
        QVERIFY(AppStateRig::scanned(*state));
        QVERIFY2(!state->scanErrors().scanError(), qPrintable(describeException(state->scanErrors().scanError())));
        // By artist (none first), album and title; the FLAC file's tags are read.
        QCOMPARE(AppStateRig::titles(state->scannedTracks()), (QStringList{"b-long", "c-short", "Flac Song"}));
        QCOMPARE(state->scannedTracks()[2].artist(), QStringLiteral("Someone"));
        QCOMPARE(state->trackCount(music), 3);

        // Play the first track through the real output.
        PlayContext& context = state->playContext();
        QString playError = QStringLiteral("(pending)");
        context.execute(PlaybackCommand::play(),
                        [&](std::exception_ptr error) { playError = error ? describeException(error) : QString(); });
        QTRY_COMPARE_WITH_TIMEOUT(playError, QString(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(context.transportState().isPlaying(), 10000);
        QCOMPARE(context.playingIndex(), std::optional<qsizetype>(0));
        const TrackRef playing = *context.currentTrack();
        const auto nowPlayingLines = [&] {
            return rig.log.messages(QStringLiteral("com.tornwick.oblin.playback"))
                .filter(QStringLiteral("Now playing"));
        };
        QCOMPARE(nowPlayingLines().size(), 1);

        // A new file arrives through the watcher; it sorts before the playing
        // track, which plays on and stays current at its new place.
        QVERIFY(QTest::qWaitFor([&] { return !watched.isEmpty() && watched.last().first() == QStringList{music}; }));
        QVERIFY(!rig.writeWav(QStringLiteral("library/a-new.wav")).isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return state->scannedTracks().size() == 4; }, 20000));
        QCOMPARE(state->scannedTracks().first().title(), QStringLiteral("a-new"));
        QVERIFY(rig.appLines().contains(QStringLiteral("Handling file events: 1 modified, 0 removed")));
        QCOMPARE(context.queue().size(), 4);
        QVERIFY(context.transportState().isPlaying());
        QCOMPARE(context.currentTrack(), std::optional<TrackRef>(playing));
        QCOMPARE(context.playingIndex(), std::optional<qsizetype>(1));
        QVERIFY(!state->isScanning()); // file events are no scan

        // A full rescan while it plays changes nothing of that either.
        QVERIFY(AppStateRig::scanned(*state));
        QVERIFY(context.transportState().isPlaying());
        QCOMPARE(context.currentTrack(), std::optional<TrackRef>(playing));
        QCOMPARE(nowPlayingLines().size(), 1);
        // Pausing and playing again resumes it instead of opening it anew.
        context.execute(PlaybackCommand::pause());
        QTRY_VERIFY(!context.transportState().isPlaying());
        QSignalSpy published(state.get(), &AppState::scannedTracksChanged);
        state->reloadTracksFromDatabase();
        QVERIFY(published.wait(10000));
        context.execute(PlaybackCommand::play());
        QTRY_VERIFY(context.transportState().isPlaying());
        QCOMPARE(nowPlayingLines().size(), 1);
    }

    // A playlist plays on through a rescan; a track whose folder goes while it
    // plays is the one shown until it ends, and the one after it plays next.
    void queueAcrossLibraryChanges()
    {
        AppStateRig rig;
        const QString music = rig.folder(QStringLiteral("library"));
        QVERIFY(!rig.writeWav(QStringLiteral("library/stays/0-first.wav")).isEmpty());
        QVERIFY(!rig.writeWav(QStringLiteral("library/gone/a-gone.wav"), 44100 * 4).isEmpty());
        QVERIFY(!rig.writeWav(QStringLiteral("library/gone/b-gone.wav")).isEmpty());
        QVERIFY(!rig.writeWav(QStringLiteral("library/stays/c-stays.wav"), 44100 * 30).isEmpty());
        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        QSignalSpy watched(&state->folderWatcher(), &MusicFolderWatcher::watchApplied);
        state->addWatchedDirectory(music);
        QVERIFY(AppStateRig::scanned(*state));
        PlayContext& context = state->playContext();
        const QList<TrackRef> library = context.queue();
        QCOMPARE(AppStateRig::titles(state->scannedTracks()), (QStringList{"0-first", "a-gone", "b-gone", "c-stays"}));
        const auto played = [&] {
            QStringList titles;
            for (const QString& line :
                 rig.log.messages(QStringLiteral("com.tornwick.oblin.playback")).filter(QStringLiteral("Now playing")))
                titles.append(TrackRef(line.section(u' ', 2)).track());
            return titles;
        };

        context.loadQueue({library[3], library[0]}, 0, std::nullopt, std::nullopt, QStringLiteral("Mix"));
        context.execute(PlaybackCommand::play());
        QTRY_VERIFY_WITH_TIMEOUT(context.transportState().isPlaying(), 10000);
        QVERIFY(AppStateRig::scanned(*state));
        QCOMPARE(context.queueID(), std::optional<QString>(QStringLiteral("Mix")));
        context.execute(PlaybackCommand::next());
        QTRY_COMPARE_WITH_TIMEOUT(played(), (QStringList{"c-stays", "0-first"}), 10000);

        context.loadQueue(library, 1, std::nullopt, std::nullopt, QStringLiteral("library"));
        context.execute(PlaybackCommand::play());
        QTRY_VERIFY_WITH_TIMEOUT(context.transportState().isPlaying(), 10000);
        context.execute(PlaybackCommand::pause()); // till the library has changed
        QTRY_VERIFY_WITH_TIMEOUT(context.currentMetadata(), 10000);
        QTRY_VERIFY(!watched.isEmpty());
        QVERIFY(QDir(music + QStringLiteral("/gone")).removeRecursively());
        QVERIFY(AppStateRig::holds(*state, 2));
        context.execute(PlaybackCommand::play());
        QTRY_VERIFY(context.transportState().isPlaying());
        QCOMPARE(context.currentTrack(), std::optional<TrackRef>(library[1]));
        QVERIFY(context.currentMetadata()); // no loading shown
        const NowPlayingSnapshot sounding = state->nowPlayingBridge().snapshot();
        QCOMPARE(sounding.track->title, QStringLiteral("a-gone"));
        QVERIFY(sounding.status == PlaybackStatus::playing);
        QTRY_COMPARE_WITH_TIMEOUT(played(), (QStringList{"c-stays", "0-first", "a-gone", "c-stays"}), 20000);
        QCOMPARE(context.queue(), (QList<TrackRef>{library[0], library[3]}));
        QCOMPARE(state->nowPlayingBridge().snapshot().track->title, QStringLiteral("c-stays"));
        QVERIFY(!context.lastError());
    }

    // A music folder that goes missing (an unmounted drive; here renamed away
    // or deleted) keeps its tracks, counted but unavailable; once it is back
    // they play, unchanged files not read again. Removing the folder from the
    // list still removes them.
    void missingMusicFolderKeepsItsTracks_data()
    {
        QTest::addColumn<QString>("goes");
        QTest::addColumn<bool>("comesBack"); // else the user removes it
        QTest::newRow("missing at start, then back") << "at start" << true;
        QTest::newRow("renamed away while running, then back") << "renamed" << true;
        QTest::newRow("deleted while running, then made again") << "deleted" << true;
        QTest::newRow("missing, then removed from the list") << "renamed" << false;
    }
    void missingMusicFolderKeepsItsTracks()
    {
        QFETCH(QString, goes);
        QFETCH(bool, comesBack);
        AppStateRig rig;
        const QString kept = rig.folder(QStringLiteral("kept"));
        const QString drive = rig.folder(QStringLiteral("drive"));
        const QString away = rig.home.filePath(QStringLiteral("music/away"));
        const auto writeDrive = [&] {
            return !rig.writeWav(QStringLiteral("drive/b.wav"), 44100 * 30).isEmpty()
                   && !rig.writeWav(QStringLiteral("drive/c.wav")).isEmpty();
        };
        QVERIFY(!rig.writeWav(QStringLiteral("kept/a.wav")).isEmpty());
        QVERIFY(writeDrive());

        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        state->addWatchedDirectory(kept);
        state->addWatchedDirectory(drive);
        QVERIFY(AppStateRig::scanned(*state));
        const QList<ScannedTrack> tracks = state->scannedTracks();
        QCOMPARE(AppStateRig::titles(tracks), (QStringList{"a", "b", "c"}));
        const auto availability = [&](qsizetype i) { return state->availabilityIndex().availability(tracks[i].ref()); };
        const auto makeMissing = [&] {
            return goes == u"deleted" ? QDir(drive).removeRecursively() : QDir().rename(drive, away);
        };
        if (goes == u"at start") {
            state.reset();
            QVERIFY(makeMissing());
            state = rig.start();
            QVERIFY(state);
            state->reloadTracksFromDatabase(); // as the main window does when shown
            QVERIFY(AppStateRig::scanned(*state));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(rig.log.contains(QStringLiteral("com.tornwick.rasko.localfile.watcher"),
                                                      QStringLiteral("Watching 2 directories: kept, drive")),
                                     10000);
            QVERIFY(makeMissing());
        }
        QTRY_COMPARE_WITH_TIMEOUT(availability(1), TrackAvailability::unavailable, 20000);
        QTRY_VERIFY(!state->isScanning());
        QVERIFY(!state->scanErrors().scanError());
        QCOMPARE(state->scannedTracks(), tracks);
        QCOMPARE(availability(0), TrackAvailability::available);
        QCOMPARE(availability(2), TrackAvailability::unavailable);
        QCOMPARE(state->trackCount(drive), 2);

        if (!comesBack) {
            state->removeWatchedDirectory(drive);
            QTRY_COMPARE(AppStateRig::titles(state->scannedTracks()), QStringList{"a"});
            QVERIFY(AppStateRig::scanned(*state));
            QCOMPARE(AppStateRig::titles(state->scannedTracks()), QStringList{"a"});
            return;
        }
        // Nothing but the folder's return: the watcher notices it.
        QVERIFY(goes == u"deleted" ? writeDrive() : QDir().rename(away, drive));
        QTRY_COMPARE_WITH_TIMEOUT(availability(1), TrackAvailability::available, 20000);
        QTRY_VERIFY(!state->isScanning());
        QCOMPARE(availability(2), TrackAvailability::available);
        if (goes != u"deleted")
            QVERIFY(!state->scanProgress()); // the rescan read no file

        PlayContext& context = state->playContext();
        QList<TrackRef> refs;
        for (const ScannedTrack& track : tracks)
            refs.append(track.ref());
        context.loadQueue(refs, 1);
        QString playError = QStringLiteral("(pending)");
        context.execute(PlaybackCommand::play(),
                        [&](std::exception_ptr error) { playError = error ? describeException(error) : QString(); });
        QTRY_COMPARE_WITH_TIMEOUT(playError, QString(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(context.transportState().isPlaying(), 10000);
        QCOMPARE(context.currentTrack(), std::optional<TrackRef>(tracks[1].ref()));
    }
};

QTEST_GUILESS_MAIN(AppStateIntegrationTest)
#include "tst_appstateintegration.moc"
