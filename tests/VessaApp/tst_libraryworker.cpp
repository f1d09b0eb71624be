#include "RaskoLocalFile/MediaDatabaseError.h"
#include "Vessa/App/Library/LibraryWorker.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/support/GatedExtractor.h"
#include "tests/support/LocalLibraryFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TmpfsMount.h"
#include "tests/support/UnprivilegedFileAccess.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

using namespace vessa;
using vessa::test::GatedExtractor;
using vessa::test::LocalLibraryFixture;
using Kind = LibraryWorker::JobKind;
using Outcome = LibraryWorker::Outcome;

namespace {

// A worker over a fixture's library with two music folders, "a" and "b".
struct WorkerRig {
    LocalLibraryFixture library;
    std::shared_ptr<GatedExtractor> gate;
    std::shared_ptr<LocalFileSourcePlugin> source;
    std::unique_ptr<LibraryWorker> worker;
    QList<Outcome> outcomes;
    QList<ScanProgress> progress;

    explicit WorkerRig(bool gated = false)
    {
        if (gated) {
            gate = std::make_shared<GatedExtractor>();
            source = library.makePlugin(gate);
        } else {
            source = library.plugin;
        }
        worker = std::make_unique<LibraryWorker>(source);
        QObject::connect(worker.get(), &LibraryWorker::jobFinished,
                         [this](const Outcome& outcome) { outcomes.append(outcome); });
        QObject::connect(worker.get(), &LibraryWorker::scanProgressed,
                         [this](const ScanProgress& report) { progress.append(report); });
        worker->setFolders(folders());
    }
    ~WorkerRig()
    {
        if (gate)
            gate->release(); // a blocked scan must end before the worker joins it
    }

    QString a() const { return library.path(QStringLiteral("a")); }
    QString b() const { return library.path(QStringLiteral("b")); }
    QStringList folders() const { return {a(), b()}; }

    bool waitForOutcomes(qsizetype count)
    {
        return QTest::qWaitFor([&] { return outcomes.size() >= count; }, 20000);
    }
    const Outcome& last() const { return outcomes.last(); }
};

QStringList pathsOf(const LibraryWorker::Library& library)
{
    return LocalLibraryFixture::filePaths(library.tracks);
}

bool anyUnder(const QStringList& paths, const QString& folder)
{
    return std::any_of(paths.cbegin(), paths.cend(),
                       [&](const QString& path) { return path.startsWith(folder + '/'); });
}

} // namespace

class LibraryWorkerTest : public QObject {
    Q_OBJECT

private slots:
    void scanPublishesTheLibraryWithItsCounts()
    {
        WorkerRig rig;
        rig.library.write("a/one.mp3");
        rig.library.write("a/two.mp3");
        rig.library.write("b/three.flac");
        rig.library.write("b/notes.txt");
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.waitForOutcomes(1));
        QCOMPARE(rig.last().kind, Kind::scan);
        QVERIFY(rig.last().library && !rig.last().error);
        const LibraryWorker::Library& library = *rig.last().library;
        QCOMPARE(library.tracks.size(), 3);
        QCOMPARE(library.refs.size(), 3);
        for (qsizetype i = 0; i < library.tracks.size(); ++i) {
            QCOMPARE(library.refs[i], library.tracks[i].ref());
            QCOMPARE(library.refIndex->firstFile(library.refs[i]), library.tracks[i].fileURL());
            QVERIFY(library.refIndex->isPlayable(library.refs[i]));
        }
        QCOMPARE(library.trackCounts, (QHash<QString, qint64>{{rig.a(), 2}, {rig.b(), 1}}));
        QCOMPARE(rig.progress.last(), (ScanProgress{3, 3}));
    }

    void missingFolderKeepsItsRows()
    {
        WorkerRig rig;
        rig.library.write("a/one.mp3");
        rig.library.write("b/two.mp3");
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.waitForOutcomes(1));
        const QList<TrackRef> refs = rig.last().library->refs;
        const qsizetype reports = rig.progress.size();
        // The drive of "b" is gone: the scan still reads "a" and succeeds, and
        // "b" keeps its row and count, but its track cannot be played.
        const QString away = rig.library.path("b-away");
        QVERIFY(QDir().rename(rig.b(), away));
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.waitForOutcomes(2));
        QVERIFY(!rig.last().error);
        QCOMPARE(rig.last().library->refs, refs);
        QCOMPARE(rig.last().library->trackCounts.value(rig.b(), -1), 1);
        QVERIFY(rig.last().library->refIndex->isPlayable(rig.last().library->tracks[0].ref()));
        QVERIFY(!rig.last().library->refIndex->isPlayable(rig.last().library->tracks[1].ref()));
        QCOMPARE(rig.last().library->tracks[0].fileURL(), rig.library.path("a/one.mp3"));
        QCOMPARE(rig.last().library->folderProblems, (QHash<QString, QString>{{rig.b(), "it does not exist"}}));
        // Back again: playable, and no file was read again.
        QVERIFY(QDir().rename(away, rig.b()));
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.waitForOutcomes(3));
        for (const TrackRef& ref : refs)
            QVERIFY(rig.last().library->refIndex->isPlayable(ref));
        QCOMPARE(rig.progress.size(), reports);
        QVERIFY(rig.last().library->folderProblems.isEmpty());
    }

    // A share unmounted from a music folder, or a folder in one, leaves it empty, gone, or with
    // the files it hid: the rows of the share's files stay, greyed, until it is back, and the
    // folder's own files are read as usual. A folder that the user empties loses its rows.
    void unmountedShareKeepsItsRows_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("mounted");
        QTest::addColumn<bool>("bound");            // a folder bound from the same disk, not a tmpfs
        QTest::addColumn<bool>("removedAtUnmount"); // as desktop auto-mounters do
        QTest::addColumn<bool>("ownFile");          // the folder holds a file of its own, hidden by the mount
        QTest::newRow("share on a music folder") << "b" << true << false << false << false;
        QTest::newRow("share on a folder in a music folder") << "b/share" << true << false << false << false;
        QTest::newRow("folder bound from the same disk") << "b/share" << true << true << false << false;
        QTest::newRow("share whose folder goes at unmount") << "b/share" << true << false << true << false;
        QTest::newRow("folder emptied, never a mount point") << "b/share" << false << false << false << false;
        QTest::newRow("share on a music folder with files of its own") << "b" << true << false << false << true;
        QTest::newRow("share on a folder with files of its own") << "b/share" << true << false << false << true;
    }
    void unmountedShareKeepsItsRows()
    {
        QFETCH(QString, folder);
        QFETCH(bool, mounted);
        QFETCH(bool, bound);
        QFETCH(bool, removedAtUnmount);
        QFETCH(bool, ownFile);
        WorkerRig rig;
        const auto scan = [&](int outcomes) { return rig.worker->requestScan() && rig.waitForOutcomes(outcomes); };
        vessa::test::TmpfsMount share(rig.library.path(folder));
        const QString one = rig.library.write("a/one.mp3");
        const QString own = ownFile ? rig.library.write(folder + "/own.mp3") : QString();
        if (bound)
            share.bindFrom(rig.library.path("elsewhere"));
        if (mounted && !share.mount())
            QSKIP(qPrintable(share.skipReason()));
        const QString three = rig.library.write(folder + "/three.mp3");
        QVERIFY(scan(1));
        QVERIFY(mounted ? share.unmount() : QFile::remove(three));
        QCOMPARE(QDir(rig.library.path(folder)).isEmpty(), !ownFile);
        if (removedAtUnmount)
            QVERIFY(QDir().rmdir(rig.library.path(folder)));
        QVERIFY(scan(2));
        const LibraryWorker::Library away = *rig.last().library;
        QStringList expected{one, own, mounted ? three : QString()};
        expected.removeAll(QString());
        QCOMPARE(pathsOf(away), expected);
        if (!mounted)
            return;
        QCOMPARE(away.trackCounts.value(rig.b()), ownFile ? 2 : 1);
        for (const auto& track : away.tracks)
            QCOMPARE(away.refIndex->isPlayable(track.ref()), track.fileURL() != three);
        QCOMPARE(away.folderProblems.value(rig.b()), folder == "b" ? "nothing is mounted on it" : QString());
        QCOMPARE(away.folderProblems.size(), folder == "b" ? 1 : 0);
        QVERIFY(scan(3)); // still known as a mount point while away
        QCOMPARE(rig.last().library->refs, away.refs);
        // Mounted again: its file is read and plays again; what the mount hides is gone.
        QVERIFY(share.mount());
        rig.library.write(folder + "/three.mp3");
        QVERIFY(scan(4));
        QCOMPARE(pathsOf(*rig.last().library), (QStringList{one, three}));
        for (const TrackRef& ref : rig.last().library->refs)
            QVERIFY(rig.last().library->refIndex->isPlayable(ref));
        QVERIFY(rig.last().library->folderProblems.isEmpty());
    }

    // A folder in a music folder that cannot be read keeps its rows, which
    // cannot be played, until a batch of file events finds it readable again.
    // A batch while it stays unreadable costs no scan, whichever way it is
    // unreadable: it cannot be listed, or its files cannot be examined.
    void unreadableFolderKeepsItsRows_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("closed") << 0;
        QTest::newRow("readable but not searchable") << 0644;
    }
    void unreadableFolderKeepsItsRows()
    {
        QFETCH(int, mode);
        WorkerRig rig;
        const QString one = rig.library.write("a/one.mp3");
        const QString two = rig.library.write("a/closed/two.mp3");
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.waitForOutcomes(1));
        const QList<TrackRef> refs = rig.last().library->refs;
        // Closed to the user: scanned on this thread, which can drop the superuser's rights.
        const QByteArray closed = QFile::encodeName(rig.library.path("a/closed"));
        QCOMPARE(chmod(QFile::encodeName(QFileInfo(rig.library.music()).path()).constData(), 0755), 0);
        QCOMPARE(chmod(closed.constData(), mode_t(mode)), 0);
        const auto restore = qScopeGuard([&] { chmod(closed.constData(), 0755); });
        {
            const vessa::test::UnprivilegedFileAccess unprivileged;
            rig.source->scanDirectories({rig.a()});
            QCOMPARE(rig.source->unreadableFolders(), QStringList{rig.library.path("a/closed")});
            // A batch in it while it stays so: the job's thread starts with this thread's rights.
            vessa::test::LogCapture log;
            rig.worker->applyFileEvents(DirectoryWatcher::EventBatch{{two}, {}, false});
            QVERIFY(rig.waitForOutcomes(2));
            QCOMPARE(log.messages("com.tornwick.rasko.localfile.scan").filter("Starting scan"), QStringList());
        }
        rig.worker->reload();
        QVERIFY(rig.waitForOutcomes(3));
        for (const Outcome& outcome : rig.outcomes.mid(1)) {
            QCOMPARE(outcome.library->refs, refs);
            for (const ScannedTrack& track : outcome.library->tracks)
                QCOMPARE(outcome.library->refIndex->isPlayable(track.ref()), track.fileURL() == one);
        }
        QCOMPARE(chmod(closed.constData(), 0755), 0);
        const QString three = rig.library.write("a/three.mp3");
        // The watcher reports the files of a folder that opens up.
        rig.worker->applyFileEvents(DirectoryWatcher::EventBatch{{three, two}, {}, false});
        QVERIFY(rig.waitForOutcomes(4));
        QCOMPARE(pathsOf(*rig.last().library), (QStringList{two, one, three}));
        for (const TrackRef& ref : rig.last().library->refs)
            QVERIFY(rig.last().library->refIndex->isPlayable(ref));
    }

    // Files refused before are read again only by a scan the user asked for,
    // also one merged into a waiting scan.
    void userScanReadsRefusedFilesAgain()
    {
        WorkerRig rig(true);
        const QString refused = rig.library.write("a/refused.mp3");
        const QString added = rig.library.write("a/added.mp3");
        rig.library.database->addFileMarks({MediaDatabase::FileMark{refused, 5, LocalLibraryFixture::defaultTime(),
                                                                    MediaDatabase::FileMark::Kind::refused}});
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.gate->waitForInFlight(1, std::chrono::seconds(10)));
        QVERIFY(rig.worker->requestScan());
        QVERIFY(!rig.worker->requestScan(ScanTrigger::user));
        rig.gate->release();
        QVERIFY(rig.waitForOutcomes(2));
        QCOMPARE(pathsOf(*rig.outcomes[0].library), QStringList{added});
        QCOMPARE(pathsOf(*rig.outcomes[1].library), (QStringList{added, refused}));
    }

    void scanRequestsMergeIntoOneFollowUp()
    {
        WorkerRig rig(true);
        rig.library.write("a/one.mp3");
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.gate->waitForInFlight(1, std::chrono::seconds(10)));
        // One scan runs: the next request waits, the ones after merge into it.
        QVERIFY(rig.worker->requestScan());
        QVERIFY(!rig.worker->requestScan());
        QVERIFY(!rig.worker->requestScan());
        // The follow-up reads the folders as they are when it starts.
        rig.library.write("c/two.mp3");
        rig.worker->setFolders(rig.folders() << rig.library.path("c"));
        rig.gate->release();
        QVERIFY(rig.waitForOutcomes(2));
        QVERIFY(!QTest::qWaitFor([&] { return rig.outcomes.size() > 2; }, 200));
        QCOMPARE(rig.outcomes[0].kind, Kind::scan);
        QCOMPARE(rig.outcomes[1].kind, Kind::scan);
        QCOMPARE(pathsOf(*rig.outcomes[0].library), QStringList{rig.library.path("a/one.mp3")});
        QCOMPARE(pathsOf(*rig.outcomes[1].library),
                 (QStringList{rig.library.path("a/one.mp3"), rig.library.path("c/two.mp3")}));
    }

    void removedFolderNeverReturns_data()
    {
        QTest::addColumn<bool>("whileReading");
        QTest::newRow("removed while its files are read") << true;
        QTest::newRow("removed after the last file, before the result arrives") << false;
    }
    void removedFolderNeverReturns()
    {
        QFETCH(bool, whileReading);
        WorkerRig rig(whileReading);
        rig.library.write("a/one.mp3");
        for (int i = 0; i < 6; ++i)
            rig.library.write(QStringLiteral("b/track%1.mp3").arg(i));
        bool removed = false;
        bool queuedAgain = false;
        const auto removeB = [&] {
            rig.worker->setFolders({rig.a()});
            queuedAgain = rig.worker->removeFolder(rig.b());
            removed = true;
        };
        // The last report is posted before the scan's result: removing there
        // means the result reaches this thread only after the removal.
        QMetaObject::Connection atLastFile;
        if (!whileReading) {
            atLastFile =
                connect(rig.worker.get(), &LibraryWorker::scanProgressed, this, [&](const ScanProgress& report) {
                    if (report.completed == report.total)
                        removeB();
                });
        }
        QVERIFY(rig.worker->requestScan());
        if (whileReading) {
            QVERIFY(rig.gate->waitForInFlight(1, std::chrono::seconds(10)));
            removeB();
            QVERIFY(queuedAgain); // the stopped scan runs again without "b"
            rig.gate->release();
        }
        QVERIFY(QTest::qWaitFor([&] { return removed; }, 20000));
        const qsizetype expected = queuedAgain ? 3 : 2;
        QVERIFY(rig.waitForOutcomes(expected));
        QVERIFY(!QTest::qWaitFor([&] { return rig.outcomes.size() > expected; }, 200));
        disconnect(atLastFile);

        QCOMPARE(rig.outcomes[0].kind, Kind::scan);
        QVERIFY(!rig.outcomes[0].library && !rig.outcomes[0].error); // stopped, or outdated
        QCOMPARE(rig.outcomes[1].kind, Kind::folderRemoval);
        QCOMPARE(rig.outcomes[1].folder, rig.b());
        QVERIFY(!rig.outcomes[1].removalError);
        for (const Outcome& outcome : rig.outcomes) {
            if (outcome.library)
                QVERIFY(!anyUnder(pathsOf(*outcome.library), rig.b()));
        }
        QCOMPARE(pathsOf(*rig.last().library), QStringList{rig.library.path("a/one.mp3")});
        QCOMPARE(rig.library.database->countTracks(rig.b()), 0);
        QVERIFY(!rig.last().library->trackCounts.contains(rig.b()));
    }

    void removalDuringFileEventsScansAgain()
    {
        WorkerRig rig(true);
        const QString inside = rig.library.write("a/new.mp3");
        rig.worker->applyFileEvents(DirectoryWatcher::EventBatch{{inside}, {}, false});
        QVERIFY(rig.gate->waitForInFlight(1, std::chrono::seconds(10)));
        // The batch may not be done: a scan makes up for what it missed.
        rig.worker->setFolders({rig.a()});
        QVERIFY(rig.worker->removeFolder(rig.b()));
        rig.gate->release();
        QVERIFY(rig.waitForOutcomes(3));
        QCOMPARE(rig.outcomes[0].kind, Kind::fileEvents);
        QVERIFY(!rig.outcomes[0].library);
        QCOMPARE(rig.outcomes[1].kind, Kind::folderRemoval);
        QCOMPARE(rig.outcomes[2].kind, Kind::scan);
        QCOMPARE(pathsOf(*rig.last().library), QStringList{inside});
    }

    void fileEventsOnlyApplyUnderTheFolders()
    {
        WorkerRig rig;
        rig.worker->setFolders({rig.a()});
        const QString inside = rig.library.write("a/new.mp3");
        const QString outside = rig.library.write("b/late.mp3");
        rig.worker->applyFileEvents(DirectoryWatcher::EventBatch{{inside, outside}, {}, false});
        QVERIFY(rig.waitForOutcomes(1));
        QCOMPARE(rig.last().kind, Kind::fileEvents);
        QCOMPARE(pathsOf(*rig.last().library), QStringList{inside});
    }

    void jobsFinishInOrder()
    {
        WorkerRig rig;
        rig.library.write("a/one.mp3");
        rig.worker->reload();
        QVERIFY(rig.worker->requestScan());
        rig.worker->applyFileEvents(DirectoryWatcher::EventBatch{{}, {rig.library.path("a/one.mp3")}, false});
        rig.worker->reload();
        QVERIFY(rig.waitForOutcomes(4));
        QCOMPARE((QList<Kind>{rig.outcomes[0].kind, rig.outcomes[1].kind, rig.outcomes[2].kind, rig.outcomes[3].kind}),
                 (QList<Kind>{Kind::reload, Kind::scan, Kind::fileEvents, Kind::reload}));
        const QList<qsizetype> sizes{0, 1, 0, 0};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(rig.outcomes[i].library->tracks.size(), sizes[i]);
    }

    void failuresComeWithTheirError()
    {
        WorkerRig rig;
        rig.library.write("a/one.mp3");
        rig.library.refuseInserts(QStringLiteral("disk full"));
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.waitForOutcomes(1));
        QVERIFY(!rig.last().library);
        QVERIFY(rig.last().error);
        QVERIFY(describeException(rig.last().error).contains(QStringLiteral("disk full")));
    }

    void progressIsThrottled()
    {
        WorkerRig rig;
        const int files = 400;
        for (int i = 0; i < files; ++i)
            rig.library.write(QStringLiteral("a/track%1.mp3").arg(i));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(rig.worker->requestScan());
        QVERIFY(rig.waitForOutcomes(1));
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(rig.progress.last(), (ScanProgress{files, files}));
        // One report per interval at most, plus the first and the last.
        QVERIFY2(rig.progress.size() <= elapsed / LibraryWorker::progressInterval.count() + 2,
                 qPrintable(QStringLiteral("%1 reports in %2 ms").arg(rig.progress.size()).arg(elapsed)));
    }
};

QTEST_GUILESS_MAIN(LibraryWorkerTest)
#include "tst_libraryworker.moc"
