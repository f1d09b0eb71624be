#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "Vessa/App/Library/MusicFolderWatcher.h"
#include "VessaCore/ThreadStart.h"
#include "tests/support/RefusedThreads.h"

#include <QSignalSpy>
#include <QtTest>

#include <optional>

using namespace vessa;

class MusicFolderWatcherTest : public QObject {
    Q_OBJECT

private slots:
    void refusedThreadWaitsForOne_data()
    {
        QTest::addColumn<bool>("ownThreadFirst"); // it runs before the refusal
        QTest::newRow("its own thread") << false;
        QTest::newRow("the source's watcher thread") << true;
    }
    // While the system refuses a thread the folders wait, unwatched and not
    // reported as watched; once one may start they are watched.
    void refusedThreadWaitsForOne()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        QFETCH(bool, ownThreadFirst);
        QTemporaryDir folder;
        auto source = std::make_shared<LocalFileSourcePlugin>(std::make_shared<MediaDatabase>(), nullptr,
                                                              QList<MultiTrackScannerPtr>{}, QSet<QString>{"mp3"});
        std::optional<test::RefusedThreads> refusal;
        if (!ownThreadFirst)
            refusal.emplace();
        MusicFolderWatcher watcher(source);
        QSignalSpy applied(&watcher, &MusicFolderWatcher::watchApplied);
        if (ownThreadFirst) {
            watcher.watch({});
            QVERIFY(applied.wait(10'000));
            applied.clear();
            refusal.emplace();
        }
        watcher.watch({folder.path()});
        QTest::qWait(int(threadStartRetryInterval.count()) * 3 / 2);
        QCOMPARE(applied.count(), 0);
        refusal.reset();
        QTRY_COMPARE_WITH_TIMEOUT(applied.count(), 1, 10'000);
        QCOMPARE(applied.first().first().toStringList(), QStringList{folder.path()});
    }
};

QTEST_GUILESS_MAIN(MusicFolderWatcherTest)
#include "tst_musicfolderwatcher.moc"
