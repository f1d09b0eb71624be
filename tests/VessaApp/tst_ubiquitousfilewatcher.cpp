#include "Vessa/App/Playlists/UbiquitousFileWatcher.h"
#include "tests/support/FileFixture.h"
#include "tests/support/LogCapture.h"

#include <QtTest>

#include <unistd.h>

#include <functional>
#include <memory>

using namespace vessa;
using namespace Qt::StringLiterals;
using vessa::test::LogCapture;
using vessa::test::writeFile;

namespace {

const QString watcherCategory = u"com.tornwick.vessa.cloud-folder-watcher"_s;
constexpr int debounceMs = 200;
// Long enough for a change that would come to have come.
constexpr int quietMs = 4 * debounceMs;
constexpr int timeoutMs = 10000;

} // namespace

// Turns the watcher's calls into a signal that QSignalSpy can wait for.
class ChangeCounter : public QObject {
    Q_OBJECT

public:
    UbiquitousFileWatcher::ChangeHandler handler()
    {
        return [this] { emit changed(); };
    }

signals:
    void changed();
};

class UbiquitousFileWatcherTest : public QObject {
    Q_OBJECT

private:
    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    // Starts a watcher of "cloud/playlists" and waits for the change that
    // starting reports.
    void startWatching(const QString& folder = u"cloud/playlists"_s)
    {
        m_watcher = std::make_unique<UbiquitousFileWatcher>(u"parvik"_s, path(folder));
        m_watcher->setDebounceInterval(debounceMs);
        m_spy = std::make_unique<QSignalSpy>(&m_counter, &ChangeCounter::changed);
        m_watcher->start(m_counter.handler());
        QVERIFY(m_watcher->isWatching());
        QVERIFY(m_spy->wait(timeoutMs));
        QCOMPARE(m_spy->size(), 1);
        m_spy->clear();
    }

    // Exactly one change for what happened, and none after it.
    void expectOneChange()
    {
        QVERIFY(m_spy->size() == 1 || m_spy->wait(timeoutMs));
        QVERIFY(!m_spy->wait(quietMs));
        QCOMPARE(m_spy->size(), 1);
        m_spy->clear();
    }

    void expectNoChange()
    {
        QVERIFY(!m_spy->wait(quietMs));
        QCOMPARE(m_spy->size(), 0);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    ChangeCounter m_counter;
    std::unique_ptr<UbiquitousFileWatcher> m_watcher;
    std::unique_ptr<QSignalSpy> m_spy;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path(u"cloud/playlists"_s)));
        writeFile(path(u"cloud/playlists/Old.parvik"_s), "#parvik:2\n");
    }

    void cleanup()
    {
        m_spy.reset();
        m_watcher.reset();
        m_dir.reset();
    }

    void startLogsAndReportsOnce()
    {
        LogCapture log;
        startWatching();
        QVERIFY(log.contains(watcherCategory, u"Started watching the cloud folder for *.parvik files"_s));
        QVERIFY(log.contains(watcherCategory, u"Cloud folder query updated: 1 file(s)"_s));
        expectNoChange();
    }

    // Each action is one burst: it gives one change or, for names and
    // events that are not complete playlist files, none.
    void burstGivesOneChangeAtMost_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("changes");
        QTest::newRow("written five times") << u"write X.parvik x5"_s << 1;
        QTest::newRow("upper-case extension") << u"write X.PARVIK x5"_s << 1;
        QTest::newRow("several files") << u"write A.parvik, write B.Parvik, write C.parvik"_s << 1;
        QTest::newRow("moved into place") << u"write .X.parvik.tmp, move .X.parvik.tmp X.parvik"_s << 1;
        QTest::newRow("linked into place") << u"write ../X.parvik, link ../X.parvik X.parvik"_s << 1;
        QTest::newRow("removed") << u"remove Old.parvik"_s << 1;
        QTest::newRow("moved away") << u"move Old.parvik ../Old.parvik"_s << 1;
        QTest::newRow("renamed") << u"move Old.parvik New.parvik"_s << 1;
        QTest::newRow("empty file made") << u"write Empty.parvik="_s << 1;
        QTest::newRow("other extension") << u"write notes.txt, write X.parvik.part"_s << 0;
        QTest::newRow("hidden playlist name") << u"write .X.parvik"_s << 0;
        QTest::newRow("sync client's temporary file") << u"write .X.parvik.tmp, remove .X.parvik.tmp"_s << 0;
        QTest::newRow("a folder") << u"mkdir Folder.parvik"_s << 0;
        QTest::newRow("inside a sub-folder") << u"mkdir Sub, write Sub/X.parvik"_s << 0;
        QTest::newRow("attributes only") << u"chmod Old.parvik"_s << 0;
        QTest::newRow("read") << u"read Old.parvik"_s << 0;
    }

    void burstGivesOneChangeAtMost()
    {
        QFETCH(QString, action);
        QFETCH(int, changes);
        startWatching();
        run(action);
        if (changes)
            expectOneChange();
        else
            expectNoChange();
    }

    // A sync client writing a file in place: nothing until it is closed.
    void halfWrittenFileIsNotReported()
    {
        startWatching();
        QFile file(path(u"cloud/playlists/Slow.parvik"_s));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QCOMPARE(file.write("#parvik:2\nfirst half"), 20);
        expectNoChange();
        QCOMPARE(file.write(" second half\n"), 13);
        file.close();
        expectOneChange();
    }

    void survivesDeleteAndRecreate_data()
    {
        QTest::addColumn<QString>("away");
        QTest::addColumn<QString>("back");
        QTest::newRow("deleted, made again") << u"rmtree ."_s << u"mkdir ."_s;
        QTest::newRow("moved away and back") << u"move . ../moved"_s << u"move ../moved ."_s;
        QTest::newRow("cloud folder deleted") << u"rmtree .."_s << u"mkdir .., mkdir ."_s;
        QTest::newRow("replaced by a file and back")
            << u"rmtree ., write ../playlists"_s << u"remove ../playlists, mkdir ."_s;
    }

    void survivesDeleteAndRecreate()
    {
        QFETCH(QString, away);
        QFETCH(QString, back);
        startWatching();
        run(away);
        expectOneChange();
        run(back);
        expectOneChange();
        run(u"write New.parvik"_s);
        expectOneChange();
        run(u"remove New.parvik"_s);
        expectOneChange();
    }

    void startsOnMissingFolder()
    {
        QVERIFY(QDir(path(u"cloud"_s)).removeRecursively());
        startWatching();
        run(u"mkdir .., mkdir ., write X.parvik"_s);
        expectOneChange();
        run(u"write Y.parvik"_s);
        expectOneChange();
    }

    void stopForgetsTheHandler()
    {
        startWatching();
        m_watcher->stop();
        QVERIFY(!m_watcher->isWatching());
        run(u"write X.parvik"_s);
        expectNoChange();
    }

    // A pending change is dropped with the watcher.
    void destroyedWithPendingChange()
    {
        startWatching();
        run(u"write X.parvik"_s);
        m_watcher.reset();
        expectNoChange();
    }

    void handlerMayRestartTheWatcher()
    {
        startWatching();
        connect(
            &m_counter, &ChangeCounter::changed, this, [this] { m_watcher->start(m_counter.handler()); },
            Qt::SingleShotConnection);
        run(u"write X.parvik"_s);
        QVERIFY(m_spy->wait(timeoutMs));
        m_spy->clear();
        expectOneChange(); // the restart's own report
    }

private:
    // Steps separated by ", ", paths relative to the watched folder:
    // "write P[=content]" (" xN" repeats), "remove P", "rmtree P", "mkdir P",
    // "move P Q", "link P Q", "chmod P", "read P".
    void run(const QString& steps)
    {
        const QString base = path(u"cloud/playlists"_s) + u'/';
        for (const QString& step : steps.split(u", "_s)) {
            QStringList words = step.split(u' ');
            const QString op = words.takeFirst();
            int times = 1;
            if (words.size() > 1 && words.last().startsWith(u'x'))
                times = words.takeLast().mid(1).toInt();
            const QString first = QDir::cleanPath(base + words.value(0).section(u'=', 0, 0));
            const QString second = QDir::cleanPath(base + words.value(1));
            for (int i = 0; i < times; ++i) {
                if (op == u"write")
                    writeFile(first, words.value(0).contains(u'=') ? words.value(0).section(u'=', 1).toUtf8()
                                                                   : QByteArray("#parvik:2\n"));
                else if (op == u"remove")
                    QVERIFY(QFile::remove(first));
                else if (op == u"rmtree")
                    QVERIFY(QDir(first).removeRecursively());
                else if (op == u"mkdir")
                    QVERIFY(QDir().mkdir(first));
                else if (op == u"move")
                    QVERIFY(QFile::rename(first, second) || QDir().rename(first, second));
                else if (op == u"link")
                    QCOMPARE(::link(QFile::encodeName(first).constData(), QFile::encodeName(second).constData()), 0);
                else if (op == u"chmod")
                    QVERIFY(QFile::setPermissions(first, QFile::ReadOwner | QFile::WriteOwner));
                else if (op == u"read") {
                    QFile file(first);
                    QVERIFY(file.open(QIODevice::ReadOnly));
                    file.readAll();
                } else
                    QFAIL(qPrintable(u"unknown step "_s + step));
            }
        }
    }
};

QTEST_GUILESS_MAIN(UbiquitousFileWatcherTest)
#include "tst_ubiquitousfilewatcher.moc"
