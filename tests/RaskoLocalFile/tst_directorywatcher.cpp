#include "RaskoLocalFile/DirectoryWatcher.h"
#include "RaskoLocalFile/InotifyEvent.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/inotify.h>

#include <atomic>
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
constexpr int timeoutMs = 20000;

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

void writeFile(const QString& path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write("data") == 4, qPrintable(path));
}

// How many reads of events the watchers have logged so far.
qsizetype eventReads(const LogCapture& log)
{
    const QStringList lines = log.messages(watcherCategory);
    return std::count_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("inotify: "); });
}

// One inotify record as the kernel lays it out: header, then the name padded with NULs.
QByteArray record(int wd, std::uint32_t mask, QByteArray name = {}, std::uint32_t cookie = 0)
{
    if (!name.isEmpty())
        name.append(QByteArray(16 - name.size() % 16, '\0'));
    const inotify_event header{wd, mask, cookie, std::uint32_t(name.size())};
    return QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + name;
}

enum Action { save3, createDelete, renameFile, nestedWrite, folderIn, fileIn, fileOut, chmodFile, renameFolder,
              deleteFolder, deleteMusic, moveMusic };

struct Case {
    const char* name;
    Action action;
    QStringList before; // files, or folders ending in "/", made before watching
    const char* suffix; // appended to the music folder's path given to watch()
    QStringList modified;
    QStringList removed;
    bool mustRescan;
};

} // namespace

class TestDirectoryWatcher : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    int m_cases = 0;

    // A fresh, empty music folder (and a sibling "outside" folder).
    QString freshMusicFolder()
    {
        const QString base = m_tmp.filePath(QStringLiteral("case%1").arg(++m_cases));
        QDir().mkpath(base + QStringLiteral("/outside"));
        QDir().mkpath(base + QStringLiteral("/music"));
        return base + QStringLiteral("/music");
    }

    static void act(Action action, const QString& music, const QString& first)
    {
        const QString outside = QFileInfo(music).path() + QStringLiteral("/outside");
        const auto at = [&](const char* relative) { return music + u'/' + QLatin1StringView(relative); };
        switch (action) {
        case save3:
            for (int i = 0; i < 3; ++i)
                writeFile(music + u'/' + first);
            break;
        case createDelete:
            writeFile(at("a.mp3"));
            QVERIFY(QFile::remove(at("a.mp3")));
            break;
        case renameFile:
            QVERIFY(QFile::rename(at("a.mp3"), at("b.mp3")));
            break;
        case nestedWrite:
            QVERIFY(QDir().mkpath(at("x/y/z")));
            writeFile(at("x/y/z/c.mp3"));
            break;
        case folderIn:
            QVERIFY(QDir().mkpath(outside + "/in/sub"));
            writeFile(outside + "/in/d.mp3");
            writeFile(outside + "/in/sub/e.mp3");
            QVERIFY(QDir().rename(outside + "/in", at("in")));
            break;
        case fileIn:
            writeFile(outside + "/f.mp3");
            QVERIFY(QFile::rename(outside + "/f.mp3", at("f.mp3")));
            break;
        case fileOut:
            QVERIFY(QFile::rename(at("a.mp3"), outside + "/a.mp3"));
            break;
        case chmodFile:
            QVERIFY(QFile::setPermissions(at("a.mp3"), QFile::ReadOwner));
            break;
        case renameFolder:
            QVERIFY(QDir().rename(at("album"), at("renamed")));
            break;
        case deleteFolder:
            QVERIFY(QDir(at("album")).removeRecursively());
            break;
        case deleteMusic:
            QVERIFY(QDir(music).removeRecursively());
            break;
        case moveMusic:
            QVERIFY(QDir().rename(music, outside + "/moved"));
            break;
        }
    }

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    // Every case has its own folder and watcher, and all run side by side:
    // each batch goes out one interval after that case's own last change.
    void fileChangesArriveAsOneBatch()
    {
        const QStringList none;
        const QList<Case> cases{
            {"three saves", save3, {"a.mp3"}, "", {"a.mp3"}, none, false},
            {"folder given with a slash", save3, {"a.mp3"}, "/", {"a.mp3"}, none, false},
            {"folder given with two slashes", save3, {"a.mp3"}, "//", {"a.mp3"}, none, false},
            {"non-ASCII names", save3, {"Björk/Ünïcödé.flac"}, "", {"Björk/Ünïcödé.flac"}, none, false},
            {"create then delete", createDelete, none, "", none, {"a.mp3"}, false},
            {"rename", renameFile, {"a.mp3"}, "", {"b.mp3"}, {"a.mp3"}, false},
            {"write into a fresh nested folder", nestedWrite, none, "/", {"x/y/z/c.mp3"}, none, false},
            {"folder moved in", folderIn, none, "", {"in/d.mp3", "in/sub/e.mp3"}, none, false},
            {"file moved in", fileIn, none, "", {"f.mp3"}, none, false},
            {"file moved out", fileOut, {"a.mp3"}, "", none, {"a.mp3"}, false},
            {"attributes changed", chmodFile, {"a.mp3"}, "", {"a.mp3"}, none, false},
            {"folder renamed", renameFolder, {"album/a.mp3"}, "//", {"renamed/a.mp3"}, none, true},
            {"subfolder deleted", deleteFolder, {"album/a.mp3", "album/empty/"}, "", none, {"album/a.mp3"}, false},
            {"music folder deleted", deleteMusic, {"a.mp3"}, "", none, {"a.mp3"}, true},
            {"music folder moved", moveMusic, {"a.mp3"}, "", none, none, true},
        };
        QStringList folders;
        std::vector<std::unique_ptr<BatchRecorder>> recorders;
        std::vector<std::unique_ptr<DirectoryWatcher>> watchers;
        for (const Case& c : cases) {
            const QString music = freshMusicFolder();
            for (const QString& entry : c.before) {
                QVERIFY(QDir().mkpath(QFileInfo(music + u'/' + entry).path()));
                if (!entry.endsWith(u'/'))
                    writeFile(music + u'/' + entry);
            }
            recorders.push_back(std::make_unique<BatchRecorder>());
            watchers.push_back(std::make_unique<DirectoryWatcher>(1.0, recorders.back()->callback()));
            watchers.back()->watch({music + QLatin1StringView(c.suffix)});
            act(c.action, music, c.before.value(0));
            folders.append(music);
        }
        if (QTest::currentTestFailed())
            return;
        for (const auto& recorder : recorders)
            QTRY_VERIFY_WITH_TIMEOUT(recorder->count() >= 1, timeoutMs);

        const auto describe = [](const Case& c, QStringList modified, QStringList removed, bool rescan) {
            modified.sort();
            removed.sort();
            return QStringLiteral("%1: modified %2; removed %3; rescan %4")
                .arg(c.name, modified.join(u','), removed.join(u','))
                .arg(rescan);
        };
        QStringList expected, actual;
        for (qsizetype i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            const auto absolute = [&](QStringList relative) {
                for (QString& path : relative)
                    path.prepend(folders[i] + u'/');
                return relative;
            };
            const EventBatch batch = recorders[i]->first();
            expected.append(describe(c, absolute(c.modified), absolute(c.removed), c.mustRescan));
            actual.append(describe(c, batch.modified, batch.removed, batch.mustRescan));
            // A modified path is the very text a scan of the folder, given the same way, indexes.
            if (batch.modified.isEmpty())
                continue;
            QStringList scanned;
            const QString given = folders[i] + QLatin1StringView(c.suffix);
            for (const vessa::FileEntry& entry : vessa::MusicFolderEnumerator::enumerateFiles({given}, {"mp3", "flac"}))
                scanned.append(entry.path);
            for (const QString& path : batch.modified)
                QVERIFY2(scanned.contains(path), qPrintable(c.name + (": " + path)));
        }
        QCOMPARE(actual, expected);
    }

    // Events read but not yet delivered never arrive after a stop or a new
    // watch; the next batch has only the new change.
    void pendingEventsAreDropped()
    {
        LogCapture log;
        const QStringList ways{"stop", "watch an empty list", "watch other folders"};
        QStringList folders;
        std::vector<std::unique_ptr<BatchRecorder>> recorders;
        std::vector<std::unique_ptr<DirectoryWatcher>> watchers;
        for (const QString& way : ways) {
            const QString music = freshMusicFolder();
            recorders.push_back(std::make_unique<BatchRecorder>());
            watchers.push_back(std::make_unique<DirectoryWatcher>(1.5, recorders.back()->callback()));
            watchers.back()->watch({music});
            const qsizetype reads = eventReads(log);
            writeFile(music + "/old.mp3");
            QTRY_VERIFY_WITH_TIMEOUT(eventReads(log) > reads, timeoutMs);
            if (way == ways[0])
                watchers.back()->stop();
            else if (way == ways[1])
                watchers.back()->watch({});
            else
                watchers.back()->watch({QFileInfo(music).path() + QStringLiteral("/outside")});
            folders.append(way == ways[2] ? QFileInfo(music).path() + QStringLiteral("/outside") : music);
        }
        QCOMPARE(log.messages(watcherCategory).count("Stopped watching directories"), 3);
        for (qsizetype i = 0; i < ways.size(); ++i) {
            if (i < 2)
                watchers[i]->watch({folders[i]});
            writeFile(folders[i] + "/new.mp3");
        }
        for (qsizetype i = 0; i < ways.size(); ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(recorders[i]->count() >= 1, timeoutMs);
            QCOMPARE(recorders[i]->first().modified, QStringList{folders[i] + "/new.mp3"});
            QVERIFY(recorders[i]->first().removed.isEmpty());
        }
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
            QTRY_VERIFY_WITH_TIMEOUT(eventReads(log) > 0, timeoutMs);
        }
        // The watcher thread has been joined: nothing can call back any more.
        QCOMPARE(recorder.count(), 0);
        QVERIFY(log.messages(watcherCategory).contains("Stopped watching directories"));
    }

    void callbackMayStopOrReleaseTheWatcher()
    {
        const QString stopped = freshMusicFolder();
        const QString released = freshMusicFolder();
        std::atomic<int> calls{0};
        DirectoryWatcher* self = nullptr;
        DirectoryWatcher watcher(0.2, [&](const EventBatch&) {
            self->stop();
            ++calls;
        });
        self = &watcher;
        std::atomic<DirectoryWatcher*> owned = new DirectoryWatcher(0.2, [&](const EventBatch&) {
            delete owned.exchange(nullptr);
            ++calls;
        });
        watcher.watch({stopped});
        owned.load()->watch({released});
        writeFile(stopped + "/a.mp3");
        writeFile(released + "/a.mp3");
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 2, timeoutMs);
        QVERIFY(!owned.load());
        watcher.watch({stopped}); // the watcher that stopped itself still takes requests
    }

    // A second start only points the source's watcher at the new folders;
    // after a stop a start makes a new watcher with the new callback.
    void localFileSourceWatching()
    {
        const QString first = freshMusicFolder();
        const QString second = freshMusicFolder();
        const QString third = freshMusicFolder();
        LogCapture log;
        const auto source = [] {
            return std::make_unique<LocalFileSourcePlugin>(std::make_shared<vessa::MediaDatabase>(),
                                                           std::make_shared<vessa::test::FakeMetadataExtractor>(),
                                                           QList<vessa::MultiTrackScannerPtr>{}, QSet<QString>{"mp3"});
        };
        const auto retargeted = source();
        const auto restarted = source();
        BatchRecorder kept, unused, dropped, renewed;
        retargeted->startWatching({first}, kept.callback());
        retargeted->startWatching({second}, unused.callback());
        restarted->startWatching({third}, dropped.callback());
        restarted->stopWatching();
        restarted->stopWatching();
        restarted->startWatching({third}, renewed.callback());
        QCOMPARE(log.messages(watcherCategory).count("Stopped watching directories"), 2); // retarget and stop

        writeFile(first + "/a.mp3");
        writeFile(second + "/b.mp3");
        writeFile(third + "/c.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(kept.count() >= 1 && renewed.count() >= 1, timeoutMs);
        QCOMPARE(kept.first().modified, QStringList{second + "/b.mp3"});
        QCOMPARE(renewed.first().modified, QStringList{third + "/c.mp3"});
        QCOMPARE(unused.count() + dropped.count(), 0);
    }

    void logsWhatItWatches()
    {
        const QString music = freshMusicFolder();
        LogCapture log;
        {
            DirectoryWatcher watcher(1.0, {});
            watcher.watch({music, m_tmp.filePath(QStringLiteral("missing"))});
            watcher.stop();
            watcher.stop();
            watcher.watch({music + "//"});
        }
        QCOMPARE(log.messages(watcherCategory),
                 (QStringList{"Watching 2 directories: music, missing", "Stopped watching directories",
                              "Watching 1 directories: music", "Stopped watching directories"}));
    }

    void classifiesRecords_data()
    {
        QTest::addColumn<uint>("mask");
        QTest::addColumn<bool>("onMusicFolder");
        QTest::addColumn<Kind>("kind");
        QTest::newRow("queue overflow") << uint(IN_Q_OVERFLOW) << false << Kind::mustRescan;
        QTest::newRow("unmount") << uint(IN_UNMOUNT) << true << Kind::mustRescan;
        QTest::newRow("watch removed") << uint(IN_IGNORED) << false << Kind::watchRemoved;
        QTest::newRow("music folder deleted") << uint(IN_DELETE_SELF) << true << Kind::watchedFolderGone;
        QTest::newRow("music folder moved") << uint(IN_MOVE_SELF) << true << Kind::watchedFolderGone;
        QTest::newRow("subfolder moved, seen from inside") << uint(IN_MOVE_SELF) << false << Kind::ignored;
        QTest::newRow("folder created") << uint(IN_CREATE | IN_ISDIR) << false << Kind::directoryAppeared;
        QTest::newRow("folder moved in") << uint(IN_MOVED_TO | IN_ISDIR) << true << Kind::directoryAppeared;
        QTest::newRow("folder moved out") << uint(IN_MOVED_FROM | IN_ISDIR) << false << Kind::directoryMovedAway;
        QTest::newRow("empty folder deleted") << uint(IN_DELETE | IN_ISDIR) << false << Kind::ignored;
        QTest::newRow("file closed after writing") << uint(IN_CLOSE_WRITE) << false << Kind::fileModified;
        QTest::newRow("file attributes") << uint(IN_ATTRIB) << false << Kind::fileModified;
        QTest::newRow("file moved in") << uint(IN_MOVED_TO) << false << Kind::fileModified;
        QTest::newRow("file moved out") << uint(IN_MOVED_FROM) << false << Kind::fileRemoved;
        QTest::newRow("file read") << uint(IN_ACCESS) << false << Kind::ignored;
    }
    void classifiesRecords()
    {
        QFETCH(uint, mask);
        QFETCH(bool, onMusicFolder);
        QFETCH(Kind, kind);
        const QByteArray bytes = record(3, mask, "x.mp3");
        const QList<InotifyEvent> events = InotifyEvent::parse(bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().classify(onMusicFolder), kind);
    }

    void parsesRecordSequences()
    {
        const QByteArray bytes = record(1, IN_CREATE, "a.mp3") + record(-1, IN_Q_OVERFLOW)
            + record(2, IN_MOVED_FROM, QByteArray(16, 'n'), 7) + record(3, IN_DELETE, "cut.mp3");
        const QList<InotifyEvent> whole = InotifyEvent::parse(bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(whole.size(), 4);
        QCOMPARE(whole[0].name, QByteArray("a.mp3"));
        QCOMPARE(whole[1].wd, -1);
        QVERIFY(whole[1].name.isEmpty());
        QCOMPARE(whole[2].name, QByteArray(16, 'n'));
        QCOMPARE(whole[2].cookie, 7u);
        // A record cut short, in its name or in its header, is not read.
        for (const qsizetype cut : {qsizetype(1), qsizetype(20)})
            QCOMPARE(InotifyEvent::parse(bytes.constData(), std::size_t(bytes.size() - cut)).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDirectoryWatcher)
#include "tst_directorywatcher.moc"
