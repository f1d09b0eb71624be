#include "RaskoLocalFile/DirectoryWatcher.h"
#include "RaskoLocalFile/InotifyEvent.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "VessaCore/FileNameBytes.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TmpfsMount.h"
#include "tests/support/UnprivilegedFileAccess.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>

using vessa::DirectoryWatcher;
using vessa::InotifyEvent;
using vessa::LocalFileSourcePlugin;
using vessa::test::LogCapture;
using vessa::test::TmpfsMount;
using EventBatch = DirectoryWatcher::EventBatch;
using Kind = InotifyEvent::Kind;

Q_DECLARE_METATYPE(InotifyEvent::Kind)

namespace {

const QString watcherCategory = QStringLiteral("com.tornwick.rasko.localfile.watcher");
constexpr int timeoutMs = 20000;

// Keeps the batches a watcher hands out on its own thread.
struct BatchRecorder {
    DirectoryWatcher::Callback callback()
    {
        return [this](const EventBatch& batch) {
            std::lock_guard lock(mutex);
            batches.append(batch);
        };
    }
    int count()
    {
        std::lock_guard lock(mutex);
        return int(batches.size());
    }
    EventBatch first()
    {
        std::lock_guard lock(mutex);
        return batches.value(0);
    }
    EventBatch last()
    {
        std::lock_guard lock(mutex);
        return batches.value(batches.size() - 1);
    }
    std::mutex mutex;
    QList<EventBatch> batches;
};

// A watcher with the recorder of its batches.
struct Watched {
    explicit Watched(double interval) : watcher(interval, recorder.callback()) {}
    BatchRecorder recorder;
    DirectoryWatcher watcher;
};

// Appends to the file at the path's own bytes (see pathToBytes).
void writeFile(const QString& path)
{
    const int fd = ::open(vessa::pathToBytes(path).constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const bool written = fd >= 0 && ::write(fd, "data", 4) == 4;
    if (fd >= 0)
        ::close(fd);
    QVERIFY2(written, qPrintable(path));
}

// How many reads of events the watchers have logged so far.
qsizetype eventReads(const LogCapture& log)
{
    const QStringList lines = log.messages(watcherCategory);
    return std::count_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("inotify: "); });
}

// One inotify record as the kernel lays it out: header, then the name padded with NULs.
QByteArray record(std::uint32_t mask, QByteArray name)
{
    name.append(QByteArray(16 - name.size() % 16, '\0'));
    const inotify_event header{3, mask, 0, std::uint32_t(name.size())};
    return QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + name;
}

// Runs "write P", "rm P", "mv P Q" and "chmod P" steps, separated
// by ";", on paths relative to `base`.
void run(const QString& base, const QString& script)
{
    for (const QString& step : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(u' ', Qt::SkipEmptyParts);
        const QString path = base + u'/' + words.value(1);
        if (words[0] == "write") {
            QDir().mkpath(QFileInfo(path).path());
            writeFile(path);
        } else if (words[0] == "rm") {
            QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
        } else if (words[0] == "mv") {
            QVERIFY(QDir().rename(path, base + u'/' + words.value(2)));
        } else {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        }
    }
}

QStringList scannedPaths(const QString& musicFolder)
{
    QStringList paths;
    for (const vessa::FileEntry& entry : vessa::MusicFolderEnumerator::enumerateFiles({musicFolder}, {"mp3", "flac"}))
        paths.append(entry.path);
    return paths;
}

struct Case {
    const char* name;
    const char* before; // steps run before watching
    const char* suffix; // appended to the music folder's path given to watch()
    const char* steps;  // steps run while watching
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

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    // Every case has its own folder and watcher, and all run side by side:
    // each batch goes out one interval after that case's own last change.
    void fileChangesArriveAsOneBatch()
    {
        const QStringList none;
        const char* saves = "write music/a.mp3; write music/a.mp3; write music/a.mp3";
        const QList<Case> cases{
            {"three saves", "write music/a.mp3", "", saves, {"a.mp3"}, none, false},
            {"non-ASCII names", "", "", "write music/Björk/Ü.flac", {"Björk/Ü.flac"}, none, false},
            {"create then delete", "", "", "write music/a.mp3; rm music/a.mp3", none, {"a.mp3"}, false},
            {"rename, folder given with two slashes",
             "write music/a.mp3",
             "//",
             "mv music/a.mp3 music/b.mp3",
             {"b.mp3"},
             {"a.mp3"},
             false},
            {"fresh nested folder, given with a slash",
             "",
             "/",
             "write music/x/y/z/c.mp3",
             {"x/y/z/c.mp3"},
             none,
             false},
            {"folder moved in",
             "write outside/in/d.mp3; write outside/in/sub/e.mp3",
             "",
             "mv outside/in music/in",
             {"in/d.mp3", "in/sub/e.mp3"},
             none,
             false},
            {"file moved in", "write outside/f.mp3", "", "mv outside/f.mp3 music/f.mp3", {"f.mp3"}, none, false},
            {"file moved out", "write music/a.mp3", "", "mv music/a.mp3 outside/a.mp3", none, {"a.mp3"}, false},
            {"attributes changed", "write music/a.mp3", "", "chmod music/a.mp3", {"a.mp3"}, none, false},
            {"folder renamed",
             "write music/album/a.mp3",
             "//",
             "mv music/album music/renamed",
             {"renamed/a.mp3"},
             none,
             true},
            {"subfolder deleted",
             "write music/album/a.mp3; write music/album/sub/b.flac",
             "",
             "rm music/album",
             none,
             {"album/a.mp3", "album/sub/b.flac"},
             false},
            {"music folder deleted", "write music/a.mp3", "", "rm music", none, {"a.mp3"}, true},
            {"music folder moved", "write music/a.mp3", "", "mv music outside/moved", none, none, true},
            {"music folder moved away and back",
             "write music/a.mp3",
             "",
             "mv music outside/moved; mv outside/moved music",
             {"a.mp3"},
             none,
             true},
            {"music folder missing, then made", "rm music", "", "write music/x/a.mp3", {"x/a.mp3"}, none, true},
        };
        QStringList folders;
        std::vector<std::unique_ptr<Watched>> watched;
        for (const Case& c : cases) {
            const QString music = freshMusicFolder();
            const QString base = QFileInfo(music).path();
            run(base, c.before);
            watched.push_back(std::make_unique<Watched>(1.0));
            watched.back()->watcher.watch({music + QLatin1StringView(c.suffix)});
            run(base, c.steps);
            folders.append(music);
        }
        if (QTest::currentTestFailed())
            return;
        for (const auto& w : watched)
            QTRY_VERIFY_WITH_TIMEOUT(w->recorder.count() >= 1, timeoutMs);

        QStringList expected, actual;
        for (qsizetype i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            const auto line = [&](QStringList modified, QStringList removed, bool rescan) {
                modified.sort();
                removed.sort();
                return QStringLiteral("%1: modified %2; removed %3; rescan %4")
                    .arg(c.name, modified.join(u','), removed.join(u','))
                    .arg(rescan);
            };
            const QRegularExpression start(QStringLiteral("^"));
            const EventBatch batch = watched[i]->recorder.first();
            expected.append(line(QStringList(c.modified).replaceInStrings(start, folders[i] + u'/'),
                                 QStringList(c.removed).replaceInStrings(start, folders[i] + u'/'), c.mustRescan));
            actual.append(line(batch.modified, batch.removed, batch.mustRescan));
            // A modified path is the very text a scan of the folder, given the same way, indexes.
            for (const QString& path : batch.modified)
                QVERIFY2(scannedPaths(folders[i] + QLatin1StringView(c.suffix)).contains(path), qPrintable(path));
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
        std::vector<std::unique_ptr<Watched>> watched;
        for (const QString& way : ways) {
            const QString music = freshMusicFolder();
            folders.append(way == ways[2] ? QFileInfo(music).path() + QStringLiteral("/outside") : music);
            DirectoryWatcher& watcher = watched.emplace_back(std::make_unique<Watched>(1.5))->watcher;
            watcher.watch({music});
            const qsizetype reads = eventReads(log);
            writeFile(music + "/old.mp3");
            QTRY_VERIFY_WITH_TIMEOUT(eventReads(log) > reads, timeoutMs);
            if (way == ways[0])
                watcher.stop();
            else
                watcher.watch(way == ways[1] ? QStringList() : QStringList{folders.last()});
        }
        QCOMPARE(log.messages(watcherCategory).count("Stopped watching directories"), 3);
        for (qsizetype i = 0; i < ways.size(); ++i) {
            if (i < 2)
                watched[i]->watcher.watch({folders[i]});
            writeFile(folders[i] + "/new.mp3");
        }
        for (qsizetype i = 0; i < ways.size(); ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(watched[i]->recorder.count() >= 1, timeoutMs);
            QCOMPARE(watched[i]->recorder.first().modified, QStringList{folders[i] + "/new.mp3"});
            QVERIFY(watched[i]->recorder.first().removed.isEmpty());
        }
    }

    void localFileSourceWatching()
    {
        const QString first = freshMusicFolder();
        const QString second = freshMusicFolder();
        LogCapture log;
        const auto source = [] {
            return std::make_unique<LocalFileSourcePlugin>(std::make_shared<vessa::MediaDatabase>(), nullptr,
                                                           QList<vessa::MultiTrackScannerPtr>{}, QSet<QString>{"mp3"});
        };
        const auto retargeted = source(), restarted = source();
        BatchRecorder kept, unused, dropped, renewed;
        retargeted->startWatching({first}, kept.callback());
        retargeted->startWatching({second}, unused.callback());
        restarted->startWatching({second}, dropped.callback());
        restarted->stopWatching();
        restarted->stopWatching();
        restarted->startWatching({first}, renewed.callback());
        QCOMPARE(log.messages(watcherCategory).count("Stopped watching directories"), 2); // retarget and stop
        writeFile(first + "/a.mp3");
        writeFile(second + "/b.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(kept.count() >= 1 && renewed.count() >= 1, timeoutMs);
        QCOMPARE(kept.first().modified, QStringList{second + "/b.mp3"});
        QCOMPARE(renewed.first().modified, QStringList{first + "/a.mp3"});
        QCOMPARE(unused.count() + dropped.count(), 0);
    }

    // A mount point whose share is away (a folder on the device above it) is
    // waited for: once something is mounted on it again, its files are
    // watched and a batch asks for a full rescan.
    void waitsForAShareToBeMountedAgain_data()
    {
        QTest::addColumn<QString>("mountPoint");
        QTest::newRow("music folder") << "";
        QTest::newRow("folder in a music folder") << "/share";
    }
    void waitsForAShareToBeMountedAgain()
    {
        QFETCH(QString, mountPoint);
        const QString music = freshMusicFolder();
        const QString folder = music + mountPoint;
        QVERIFY(QDir().mkpath(folder));
        LogCapture log;
        Watched watched(1.0);
        watched.watcher.watch({music});
        watched.watcher.waitForMounts({folder});
        TmpfsMount share(folder);
        if (!share.mount())
            QSKIP(qPrintable(share.skipReason()));
        writeFile(folder + "/a.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(watched.recorder.count() >= 1, timeoutMs);
        QVERIFY(watched.recorder.first().mustRescan);
        QVERIFY(log.messages(watcherCategory).contains("Folder is mounted again: " + folder));
        writeFile(folder + "/b.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(watched.recorder.count() >= 2, timeoutMs);
        QVERIFY(watched.recorder.last().modified.contains(folder + "/b.mp3"));
    }

    // Something mounted on a folder in a music folder while it is watched,
    // and unmounted again: each asks for a full rescan, and the files of
    // what is there now are watched.
    void watchesWhatIsMountedMeanwhile_data()
    {
        QTest::addColumn<bool>("bind");
        QTest::newRow("tmpfs") << false;
        QTest::newRow("folder bound from the same disk") << true;
    }
    void watchesWhatIsMountedMeanwhile()
    {
        QFETCH(bool, bind);
        const QString music = freshMusicFolder();
        const QString folder = music + "/share";
        QVERIFY(QDir().mkpath(folder));
        Watched watched(0.5);
        watched.watcher.watch({music});
        TmpfsMount share(folder);
        if (bind)
            share.bindFrom(QFileInfo(music).path() + "/elsewhere");
        if (!share.mount())
            QSKIP(qPrintable(share.skipReason()));
        QTRY_VERIFY_WITH_TIMEOUT(watched.recorder.count() >= 1, timeoutMs);
        QVERIFY(watched.recorder.last().mustRescan);
        writeFile(folder + "/a.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(watched.recorder.count() >= 2, timeoutMs);
        QCOMPARE(watched.recorder.last().modified, QStringList{folder + "/a.mp3"});
        QVERIFY(share.unmount());
        QTRY_VERIFY_WITH_TIMEOUT(watched.recorder.count() >= 3, timeoutMs);
        QVERIFY(watched.recorder.last().mustRescan);
        writeFile(folder + "/b.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(watched.recorder.count() >= 4, timeoutMs);
        QCOMPARE(watched.recorder.last().modified, QStringList{folder + "/b.mp3"});
    }

    // A folder in a music folder that is closed to the user cannot be
    // watched; once it is opened, it is watched and its files are reported,
    // so that the library reads what it could not.
    void reportsTheFilesOfAFolderOpenedWhileWatched()
    {
        const QString music = freshMusicFolder();
        const QString closed = music + "/closed";
        QVERIFY(QDir().mkpath(closed));
        writeFile(closed + "/a.mp3");
        QCOMPARE(::chmod(QFile::encodeName(m_tmp.path()).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(closed).constData(), 0), 0);
        // The watcher's thread starts with this thread's file access: the
        // superuser's right to read every folder is dropped for it too.
        const std::unique_ptr<Watched> watched = [] {
            const vessa::test::UnprivilegedFileAccess unprivileged;
            return std::make_unique<Watched>(0.5);
        }();
        watched->watcher.watch({music});
        QCOMPARE(::chmod(QFile::encodeName(closed).constData(), 0755), 0);
        QTRY_VERIFY_WITH_TIMEOUT(watched->recorder.count() >= 1, timeoutMs);
        QCOMPARE(watched->recorder.first().modified, QStringList{closed + "/a.mp3"});
        writeFile(closed + "/b.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(watched->recorder.count() >= 2, timeoutMs);
        QCOMPARE(watched->recorder.last().modified, QStringList{closed + "/b.mp3"});
    }

    // Names that are not UTF-8, of a file written and of a folder moved in,
    // arrive as the very texts a scan indexes, which name the files' bytes.
    void namesThatAreNotUtf8()
    {
        const QString music = freshMusicFolder();
        const QByteArray outside = QFile::encodeName(QFileInfo(music).path()) + "/outside/Caf\xe9";
        const QByteArray inside = QFile::encodeName(music);
        QCOMPARE(::mkdir(outside.constData(), 0755), 0);
        writeFile(vessa::pathFromBytes(outside + "/\xff\xfe.mp3"));
        Watched watched(0.2);
        watched.watcher.watch({music});
        writeFile(vessa::pathFromBytes(inside + "/Caf\xe9.mp3"));
        QCOMPARE(::rename(outside.constData(), (inside + "/Caf\xe9").constData()), 0);
        QTRY_VERIFY_WITH_TIMEOUT(watched.recorder.count() >= 1, timeoutMs);
        QStringList modified = watched.recorder.first().modified;
        modified.sort();
        QStringList bytes;
        for (const QString& path : modified)
            bytes.append(QString::fromLatin1(vessa::pathToBytes(path)));
        QCOMPARE(bytes, (QStringList{QString::fromLatin1(inside + "/Caf\xe9.mp3"),
                                     QString::fromLatin1(inside + "/Caf\xe9/\xff\xfe.mp3")}));
        QStringList scanned = scannedPaths(music);
        scanned.sort();
        QCOMPARE(modified, scanned);
    }

    void logsAndDeliversNothingOnceDestroyed()
    {
        const QString music = freshMusicFolder();
        LogCapture log;
        BatchRecorder recorder;
        {
            DirectoryWatcher watcher(60.0, recorder.callback());
            watcher.watch({music, m_tmp.filePath(QStringLiteral("missing"))});
            watcher.stop();
            watcher.stop();
            watcher.watch({music + "//"});
            writeFile(music + "/a.mp3");
            QTRY_VERIFY_WITH_TIMEOUT(eventReads(log) > 0, timeoutMs);
        }
        // The watcher thread has been joined with a batch pending: nothing can call back any more.
        QCOMPARE(recorder.count(), 0);
        QCOMPARE(log.messages(watcherCategory).filter(QRegularExpression("^(?!inotify: )")),
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
        QTest::newRow("subfolder moved, seen from inside") << uint(IN_MOVE_SELF) << false << Kind::ignored;
        QTest::newRow("file read") << uint(IN_ACCESS) << false << Kind::ignored;
        QTest::newRow("subfolder opened or closed") << uint(IN_ATTRIB | IN_ISDIR) << false << Kind::directoryChanged;
    }
    void classifiesRecords()
    {
        QFETCH(uint, mask);
        QFETCH(bool, onMusicFolder);
        QFETCH(Kind, kind);
        const QByteArray bytes = record(mask, "x.mp3");
        const QList<InotifyEvent> events = InotifyEvent::parse(bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().classify(onMusicFolder), kind);
        // A record cut short, in its name or in its header, is not read.
        QVERIFY(InotifyEvent::parse(bytes.constData(), std::size_t(bytes.size() - 1)).isEmpty());
        QVERIFY(InotifyEvent::parse(bytes.constData(), sizeof(inotify_event) - 1).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDirectoryWatcher)
#include "tst_directorywatcher.moc"
