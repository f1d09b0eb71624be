#include "RaskoLocalFile/DirectoryWatcher.h"
#include "RaskoLocalFile/InotifyEvent.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/inotify.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

using vessa::DirectoryWatcher;
using vessa::InotifyEvent;
using vessa::LocalFileSourcePlugin;
using vessa::test::LogCapture;
using EventBatch = DirectoryWatcher::EventBatch;
using Kind = InotifyEvent::Kind;

Q_DECLARE_METATYPE(InotifyEvent::Kind)

namespace {

const QString watcherCategory = QStringLiteral("com.tornwick.rasko.localfile.watcher");

// Short enough to keep the tests quick, long enough that the few file
// operations of one case always fall into one batch.
constexpr double shortDebounce = 0.6;
constexpr int batchTimeoutMs = 20000;

// Keeps the batches a watcher hands out on its own thread.
class BatchRecorder {
public:
    DirectoryWatcher::Callback callback()
    {
        return [this](const EventBatch& batch) {
            std::lock_guard lock(m_mutex);
            m_batches.append(batch);
        };
    }
    int count() const
    {
        std::lock_guard lock(m_mutex);
        return int(m_batches.size());
    }
    EventBatch first() const
    {
        std::lock_guard lock(m_mutex);
        return m_batches.value(0);
    }

private:
    mutable std::mutex m_mutex;
    QList<EventBatch> m_batches;
};

void writeFile(const QString& path, const QByteArray& bytes = "data")
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Append), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// Whether the watcher has read any events yet (they are then pending).
bool eventsReceived(const LogCapture& log)
{
    const QStringList lines = log.messages(watcherCategory);
    return std::any_of(lines.begin(), lines.end(),
                       [](const QString& line) { return line.startsWith(QStringLiteral("inotify: ")); });
}

// One inotify record as the kernel lays it out: header, then the name padded with NULs.
QByteArray record(int wd, std::uint32_t mask, const QByteArray& name = {}, std::uint32_t cookie = 0)
{
    QByteArray padded = name;
    if (!padded.isEmpty())
        padded.append(QByteArray(16 - padded.size() % 16, '\0'));
    inotify_event header{};
    header.wd = wd;
    header.mask = mask;
    header.cookie = cookie;
    header.len = std::uint32_t(padded.size());
    return QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + padded;
}

enum Action {
    saveThreeTimes,
    createThenDelete,
    renameFile,
    writeIntoFreshNestedFolder,
    moveFolderIn,
    moveFileIn,
    moveFileOut,
    changeAttributes,
    renameFolder,
    deleteFolder,
    deleteMusicFolder,
    moveMusicFolder,
};

} // namespace

class TestDirectoryWatcher : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    int m_cases = 0;

    // A fresh, empty music folder (and a sibling "outside" folder) for one case.
    QString freshMusicFolder()
    {
        const QString base = m_tmp.filePath(QStringLiteral("case%1").arg(++m_cases));
        QDir().mkpath(base + QStringLiteral("/outside"));
        QDir().mkpath(base + QStringLiteral("/music"));
        return base + QStringLiteral("/music");
    }

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    void fileChangesArriveAsOneBatch_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("before"); // files, or folders ending in "/", made before watching
        QTest::addColumn<bool>("givenWithSlash");
        QTest::addColumn<QStringList>("modified");
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<bool>("mustRescan");

        const QStringList none;
        QTest::newRow("three saves") << int(saveThreeTimes) << QStringList{"a.mp3"} << false
                                     << QStringList{"a.mp3"} << none << false;
        QTest::newRow("three saves, folder given with a slash")
            << int(saveThreeTimes) << QStringList{"a.mp3"} << true << QStringList{"a.mp3"} << none << false;
        QTest::newRow("three saves in a subfolder and with non-ASCII names")
            << int(saveThreeTimes) << QStringList{"Björk/Ünïcödé.flac"} << false
            << QStringList{"Björk/Ünïcödé.flac"} << none << false;
        QTest::newRow("create then delete") << int(createThenDelete) << none << false << none
                                            << QStringList{"a.mp3"} << false;
        QTest::newRow("rename") << int(renameFile) << QStringList{"a.mp3"} << false << QStringList{"b.mp3"}
                                << QStringList{"a.mp3"} << false;
        QTest::newRow("file written at once into a fresh nested folder")
            << int(writeIntoFreshNestedFolder) << none << false << QStringList{"x/y/z/c.mp3"} << none << false;
        QTest::newRow("folder with files moved in")
            << int(moveFolderIn) << none << false << QStringList{"in/d.mp3", "in/sub/e.mp3"} << none << false;
        QTest::newRow("file moved in") << int(moveFileIn) << none << false << QStringList{"f.mp3"} << none << false;
        QTest::newRow("file moved out") << int(moveFileOut) << QStringList{"a.mp3"} << false << none
                                        << QStringList{"a.mp3"} << false;
        QTest::newRow("attributes changed") << int(changeAttributes) << QStringList{"a.mp3"} << false
                                            << QStringList{"a.mp3"} << none << false;
        QTest::newRow("folder renamed") << int(renameFolder) << QStringList{"album/a.mp3"} << false
                                        << QStringList{"renamed/a.mp3"} << none << true;
        QTest::newRow("subfolder deleted") << int(deleteFolder) << QStringList{"album/a.mp3", "album/empty/"}
                                           << false << none << QStringList{"album/a.mp3"} << false;
        QTest::newRow("music folder deleted") << int(deleteMusicFolder) << QStringList{"a.mp3"} << false << none
                                              << QStringList{"a.mp3"} << true;
        QTest::newRow("music folder moved") << int(moveMusicFolder) << QStringList{"a.mp3"} << false << none
                                            << none << true;
    }

    void fileChangesArriveAsOneBatch()
    {
        QFETCH(int, action);
        QFETCH(QStringList, before);
        QFETCH(bool, givenWithSlash);
        QFETCH(QStringList, modified);
        QFETCH(QStringList, removed);
        QFETCH(bool, mustRescan);

        const QString music = freshMusicFolder();
        const QString outside = QFileInfo(music).path() + QStringLiteral("/outside");
        const auto at = [&](const QString& relative) { return music + u'/' + relative; };
        for (const QString& entry : before) {
            QVERIFY(QDir().mkpath(QFileInfo(at(entry)).path()));
            if (!entry.endsWith(u'/'))
                writeFile(at(entry));
        }

        BatchRecorder recorder;
        DirectoryWatcher watcher(shortDebounce, recorder.callback());
        watcher.watch({givenWithSlash ? music + u'/' : music});

        switch (Action(action)) {
        case saveThreeTimes:
            for (int i = 0; i < 3; ++i)
                writeFile(at(before.first()));
            break;
        case createThenDelete:
            writeFile(at("a.mp3"));
            QVERIFY(QFile::remove(at("a.mp3")));
            break;
        case renameFile:
            QVERIFY(QFile::rename(at("a.mp3"), at("b.mp3")));
            break;
        case writeIntoFreshNestedFolder:
            QVERIFY(QDir().mkpath(at("x/y/z")));
            writeFile(at("x/y/z/c.mp3"));
            break;
        case moveFolderIn:
            QVERIFY(QDir().mkpath(outside + "/in/sub"));
            writeFile(outside + "/in/d.mp3");
            writeFile(outside + "/in/sub/e.mp3");
            QVERIFY(QDir().rename(outside + "/in", at("in")));
            break;
        case moveFileIn:
            writeFile(outside + "/f.mp3");
            QVERIFY(QFile::rename(outside + "/f.mp3", at("f.mp3")));
            break;
        case moveFileOut:
            QVERIFY(QFile::rename(at("a.mp3"), outside + "/a.mp3"));
            break;
        case changeAttributes:
            QVERIFY(QFile::setPermissions(at("a.mp3"), QFile::ReadOwner));
            break;
        case renameFolder:
            QVERIFY(QDir().rename(at("album"), at("renamed")));
            break;
        case deleteFolder:
            QVERIFY(QDir(at("album")).removeRecursively());
            break;
        case deleteMusicFolder:
            QVERIFY(QDir(music).removeRecursively());
            break;
        case moveMusicFolder:
            QVERIFY(QDir().rename(music, outside + "/moved"));
            break;
        }

        QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 1, batchTimeoutMs);
        const EventBatch batch = recorder.first();
        QStringList expectedModified, expectedRemoved;
        for (const QString& relative : modified)
            expectedModified.append(at(relative));
        for (const QString& relative : removed)
            expectedRemoved.append(at(relative));
        QCOMPARE(sorted(batch.modified), sorted(expectedModified));
        QCOMPARE(sorted(batch.removed), sorted(expectedRemoved));
        QCOMPARE(batch.mustRescan, mustRescan);
    }

    // Events already read but not yet delivered must never arrive after the
    // watcher was stopped or pointed elsewhere; the next batch has only new changes.
    void pendingEventsAreDropped_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("stop") << QStringLiteral("stop");
        QTest::newRow("watch an empty list") << QStringLiteral("empty");
        QTest::newRow("watch other folders") << QStringLiteral("other");
    }

    void pendingEventsAreDropped()
    {
        QFETCH(QString, how);
        const QString music = freshMusicFolder();
        const QString other = QFileInfo(music).path() + QStringLiteral("/outside");
        LogCapture log;
        BatchRecorder recorder;
        DirectoryWatcher watcher(1.5, recorder.callback());
        watcher.watch({music});
        writeFile(music + "/old.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(eventsReceived(log), batchTimeoutMs);

        if (how == "stop")
            watcher.stop();
        else if (how == "empty")
            watcher.watch({});
        QCOMPARE(log.messages(watcherCategory).count("Stopped watching directories"), how == "other" ? 0 : 1);

        // Watch again and make one new change: had the old event survived, it
        // would have been delivered first or together with this one.
        const QString folder = how == "other" ? other : music;
        watcher.watch({folder});
        writeFile(folder + "/new.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 1, batchTimeoutMs);
        QCOMPARE(recorder.first().modified, QStringList{folder + "/new.mp3"});
        QVERIFY(recorder.first().removed.isEmpty());
        QCOMPARE(recorder.count(), 1);
    }

    void destroyingWithABatchPendingDeliversNothing()
    {
        const QString music = freshMusicFolder();
        LogCapture log;
        BatchRecorder recorder;
        {
            DirectoryWatcher watcher(60.0, recorder.callback());
            watcher.watch({music});
            writeFile(music + "/a.mp3");
            QTRY_VERIFY_WITH_TIMEOUT(eventsReceived(log), batchTimeoutMs);
        }
        // The watcher thread has been joined: nothing can call back any more.
        QCOMPARE(recorder.count(), 0);
        QVERIFY(log.messages(watcherCategory).contains("Stopped watching directories"));
    }

    void callbackMayStopOrReleaseTheWatcher()
    {
        // Stopping from inside the callback does not hang.
        {
            const QString music = freshMusicFolder();
            std::atomic<int> calls{0};
            DirectoryWatcher* self = nullptr;
            DirectoryWatcher watcher(0.2, [&](const EventBatch&) {
                self->stop();
                ++calls;
            });
            self = &watcher;
            watcher.watch({music});
            writeFile(music + "/a.mp3");
            QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, batchTimeoutMs);
            watcher.watch({music}); // and the watcher still takes requests
        }
        // Releasing the watcher from inside the callback: its thread ends by itself.
        {
            const QString music = freshMusicFolder();
            std::atomic<bool> released{false};
            std::atomic<DirectoryWatcher*> owned{nullptr};
            auto* watcher = new DirectoryWatcher(0.2, [&](const EventBatch&) {
                delete owned.exchange(nullptr);
                released = true;
            });
            owned = watcher;
            watcher->watch({music});
            writeFile(music + "/a.mp3");
            QTRY_VERIFY_WITH_TIMEOUT(released.load(), batchTimeoutMs);
        }
    }

    // The local-file source keeps one watcher: a second start only points it
    // at the new folders; after a stop a start makes a new one.
    void localFileSourceWatching()
    {
        const QString first = freshMusicFolder();
        const QString second = freshMusicFolder();
        LogCapture log;
        LocalFileSourcePlugin source(std::make_shared<vessa::MediaDatabase>(),
                                     std::make_shared<vessa::test::FakeMetadataExtractor>(), {}, {"mp3"});
        BatchRecorder firstCallback, secondCallback, thirdCallback;

        source.startWatching({first}, firstCallback.callback());
        source.startWatching({second}, secondCallback.callback());
        writeFile(first + "/a.mp3");
        writeFile(second + "/b.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(firstCallback.count() >= 1, batchTimeoutMs);
        QCOMPARE(firstCallback.first().modified, QStringList{second + "/b.mp3"});
        QCOMPARE(secondCallback.count(), 0);

        source.stopWatching();
        source.stopWatching();
        QCOMPARE(log.messages(watcherCategory).count("Stopped watching directories"), 2); // retarget and stop

        source.startWatching({first}, thirdCallback.callback());
        writeFile(first + "/c.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(thirdCallback.count() >= 1, batchTimeoutMs);
        QCOMPARE(thirdCallback.first().modified, QStringList{first + "/c.mp3"});
        QCOMPARE(firstCallback.count(), 1);
    }

    void logsWhatItWatches()
    {
        const QString music = freshMusicFolder();
        const QString missing = m_tmp.filePath(QStringLiteral("missing"));
        LogCapture log;
        {
            DirectoryWatcher watcher(shortDebounce, {});
            watcher.watch({music, missing});
            watcher.stop();
            watcher.stop();
            watcher.watch({music + u'/'});
        }
        QCOMPARE(log.messages(watcherCategory),
                 (QStringList{"Watching 2 directories: music, missing", "Stopped watching directories",
                              "Watching 1 directories: music", "Stopped watching directories"}));
    }

    void classifiesRecords_data()
    {
        QTest::addColumn<int>("wd");
        QTest::addColumn<uint>("mask");
        QTest::addColumn<bool>("onMusicFolder");
        QTest::addColumn<Kind>("kind");

        QTest::newRow("queue overflow") << -1 << uint(IN_Q_OVERFLOW) << false << Kind::mustRescan;
        QTest::newRow("unmount") << 3 << uint(IN_UNMOUNT) << false << Kind::mustRescan;
        QTest::newRow("unmount of a music folder") << 1 << uint(IN_UNMOUNT) << true << Kind::mustRescan;
        QTest::newRow("watch removed") << 3 << uint(IN_IGNORED) << false << Kind::watchRemoved;
        QTest::newRow("music folder deleted") << 1 << uint(IN_DELETE_SELF) << true << Kind::watchedFolderGone;
        QTest::newRow("music folder moved") << 1 << uint(IN_MOVE_SELF) << true << Kind::watchedFolderGone;
        QTest::newRow("subfolder deleted, seen from inside") << 3 << uint(IN_DELETE_SELF) << false << Kind::ignored;
        QTest::newRow("subfolder moved, seen from inside") << 3 << uint(IN_MOVE_SELF) << false << Kind::ignored;
        QTest::newRow("folder created") << 3 << uint(IN_CREATE | IN_ISDIR) << false << Kind::directoryAppeared;
        QTest::newRow("folder moved in") << 3 << uint(IN_MOVED_TO | IN_ISDIR) << true << Kind::directoryAppeared;
        QTest::newRow("folder moved out") << 3 << uint(IN_MOVED_FROM | IN_ISDIR) << false << Kind::directoryMovedAway;
        QTest::newRow("empty folder deleted") << 3 << uint(IN_DELETE | IN_ISDIR) << false << Kind::ignored;
        QTest::newRow("folder attributes") << 3 << uint(IN_ATTRIB | IN_ISDIR) << false << Kind::ignored;
        QTest::newRow("file created") << 3 << uint(IN_CREATE) << false << Kind::fileModified;
        QTest::newRow("file written") << 3 << uint(IN_MODIFY) << false << Kind::fileModified;
        QTest::newRow("file closed after writing") << 3 << uint(IN_CLOSE_WRITE) << false << Kind::fileModified;
        QTest::newRow("file attributes") << 3 << uint(IN_ATTRIB) << false << Kind::fileModified;
        QTest::newRow("file moved in") << 3 << uint(IN_MOVED_TO) << false << Kind::fileModified;
        QTest::newRow("file deleted") << 3 << uint(IN_DELETE) << false << Kind::fileRemoved;
        QTest::newRow("file moved out") << 3 << uint(IN_MOVED_FROM) << false << Kind::fileRemoved;
        QTest::newRow("file read") << 3 << uint(IN_ACCESS) << false << Kind::ignored;
        QTest::newRow("file closed after reading") << 3 << uint(IN_CLOSE_NOWRITE) << false << Kind::ignored;
    }

    void classifiesRecords()
    {
        QFETCH(int, wd);
        QFETCH(uint, mask);
        QFETCH(bool, onMusicFolder);
        QFETCH(Kind, kind);
        const QList<InotifyEvent> events = InotifyEvent::parse(record(wd, mask, "x.mp3").constData(),
                                                               std::size_t(record(wd, mask, "x.mp3").size()));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().wd, wd);
        QCOMPARE(events.first().classify(onMusicFolder), kind);
    }

    void parsesRecordSequences()
    {
        const QByteArray bytes = record(1, IN_CREATE, "a.mp3") + record(-1, IN_Q_OVERFLOW)
            + record(2, IN_MOVED_FROM, QByteArray(16, 'n'), 7) + record(3, IN_DELETE, "cut.mp3");
        const QList<InotifyEvent> whole = InotifyEvent::parse(bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(whole.size(), 4);
        QCOMPARE(whole[0].name, QByteArray("a.mp3"));
        QVERIFY(whole[1].name.isEmpty());
        QCOMPARE(whole[2].name, QByteArray(16, 'n'));
        QCOMPARE(whole[2].cookie, 7u);
        QCOMPARE(whole[3].mask, std::uint32_t(IN_DELETE));

        // A record cut short (in its name or in its header) is not read.
        for (const qsizetype cut : {qsizetype(1), qsizetype(20), qsizetype(bytes.size() - 1)}) {
            const QList<InotifyEvent> events = InotifyEvent::parse(bytes.constData(), std::size_t(bytes.size() - cut));
            QVERIFY(events.size() < 4);
            for (const InotifyEvent& event : events)
                QVERIFY(event.name.size() <= 16);
        }
        QVERIFY(InotifyEvent::parse(bytes.constData(), 0).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDirectoryWatcher)
#include "tst_directorywatcher.moc"
