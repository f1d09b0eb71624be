#include "Vessa/App/Playlists/PlaylistMigration.h"
#include "Vessa/App/Playlists/PlaylistMigrationError.h"
#include "VessaCore/Error.h"
#include "tests/support/FailureText.h"
#include "tests/support/FileFixture.h"
#include "tests/support/LogCapture.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vessa;
using namespace Qt::StringLiterals;
using vessa::test::failureOf;
using vessa::test::LogCapture;
using vessa::test::writeFile;

namespace {

const QString appCategory = u"com.tornwick.vessa.App"_s;

// Every entry of a folder, hidden ones too, as "name=content" ("name/" for a
// folder), sorted.
QStringList snapshot(const QString& folder)
{
    QStringList entries;
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        if (info.isDir()) {
            entries.append(info.fileName() + u'/');
            continue;
        }
        QFile file(info.filePath());
        const QString content = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"<unreadable>"_s;
        entries.append(info.fileName() + u'=' + content);
    }
    return entries;
}

// "name=content" writes a file, "name/" makes a folder.
void fill(const QString& folder, const QStringList& entries)
{
    QDir().mkpath(folder);
    for (const QString& entry : entries) {
        if (entry.endsWith(u'/'))
            QVERIFY(QDir(folder).mkpath(entry));
        else
            writeFile(folder + u'/' + entry.section(u'=', 0, 0), entry.section(u'=', 1).toUtf8());
    }
}

} // namespace

class PlaylistMigrationTest : public QObject {
    Q_OBJECT

private slots:
    void copiesPlaylistFilesAndKeepsExistingNames_data()
    {
        QTest::addColumn<QStringList>("source");
        QTest::addColumn<QStringList>("target");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("copied");
        QTest::addColumn<QStringList>("keptDiffering");

        QTest::newRow("into a new folder") << QStringList{"a.parvik=A", "b.parvik=B"} << QStringList{}
                                           << QStringList{"a.parvik=A", "b.parvik=B"} << 2 << QStringList{};
        QTest::newRow("existing names are kept, named when they differ")
            << QStringList{"a.parvik=A", "b.parvik=B", "c.parvik=C", "d.parvik=D"}
            << QStringList{"a.parvik=mine", "c.parvik=C", "d.parvik/"}
            << QStringList{"a.parvik=mine", "b.parvik=B", "c.parvik=C", "d.parvik/"} << 1 << QStringList{"a", "d"};
        QTest::newRow("extension compared exactly") << QStringList{"Up.PARVIK=U", "mixed.Parvik=M", "x.parvik=X"}
                                                    << QStringList{} << QStringList{"x.parvik=X"} << 1 << QStringList{};
        QTest::newRow("other files and folders stay")
            << QStringList{"notes.txt=n", "folder.parvik/", "folder.parvik/in.parvik=i", "p.parvik=P", "parvik=bare"}
            << QStringList{} << QStringList{"p.parvik=P"} << 1 << QStringList{};
        QTest::newRow("empty playlist file")
            << QStringList{"e.parvik="} << QStringList{} << QStringList{"e.parvik="} << 1 << QStringList{};
        QTest::newRow("an empty Starred takes the source's, only Starred")
            << QStringList{"Starred.parvik=#parvik:2\ns\n", "e.parvik=#parvik:2\ns\n"}
            << QStringList{"Starred.parvik=#parvik:2\n", "e.parvik=#parvik:2\n"}
            << QStringList{"Starred.parvik=#parvik:2\ns\n", "e.parvik=#parvik:2\n"} << 1 << QStringList{"e"};
        QTest::newRow("a Starred with tracks is kept")
            << QStringList{"Starred.parvik=#parvik:2\ns\n"} << QStringList{"Starred.parvik=#parvik:2\nmine\n"}
            << QStringList{"Starred.parvik=#parvik:2\nmine\n"} << 0 << QStringList{"Starred"};
        QTest::newRow("an unreadable Starred is kept")
            << QStringList{"Starred.parvik=#parvik:2\ns\n"} << QStringList{"Starred.parvik=not a playlist"}
            << QStringList{"Starred.parvik=not a playlist"} << 0 << QStringList{"Starred"};
    }

    void copiesPlaylistFilesAndKeepsExistingNames()
    {
        QFETCH(QStringList, source);
        QFETCH(QStringList, target);
        QFETCH(QStringList, expected);
        QFETCH(int, copied);
        QTemporaryDir dir;
        const QString from = dir.filePath(u"cloud/playlists"_s);
        const QString to = dir.filePath(u"local/Tornwick/playlists"_s);
        fill(from, source);
        if (!target.isEmpty())
            fill(to, target);
        const QStringList sourceBefore = snapshot(from);
        LogCapture log;

        const PlaylistMigrationResult result = migratePlaylists(from, to);
        QCOMPARE(result.copied, copied);
        QStringList kept = result.keptDiffering;
        kept.sort(); // in listing order
        QTEST(kept, "keptDiffering");
        QCOMPARE(snapshot(to), expected); // no temporary file left either
        QCOMPARE(snapshot(from), sourceBefore);
        QCOMPARE(log.messages(appCategory), QStringList{u"Migrated %1 playlist(s)"_s.arg(copied)});
    }

    void keepsModeAndTimes()
    {
        QTemporaryDir dir;
        const QString from = dir.filePath(u"from"_s);
        fill(from, {"a.parvik=A"});
        QFile source(from + u"/a.parvik"_s);
        QVERIFY(source.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QDateTime modified = QDateTime::fromSecsSinceEpoch(1'600'000'000);
        QVERIFY(source.open(QIODevice::ReadWrite) && source.setFileTime(modified, QFile::FileModificationTime));
        source.close();

        migratePlaylists(from, dir.filePath(u"to"_s));
        const QFileInfo copy(dir.filePath(u"to/a.parvik"_s));
        QCOMPARE(copy.permissions() & 0x0fff, source.permissions() & 0x0fff);
        QCOMPARE(copy.lastModified(), modified);
    }

    void missingSourceCopiesNothing()
    {
        QTemporaryDir dir;
        LogCapture log;
        QCOMPARE(migratePlaylists(dir.filePath(u"nowhere"_s), dir.filePath(u"new/playlists"_s)).copied, 0);
        QVERIFY(QFileInfo(dir.filePath(u"new/playlists"_s)).isDir()); // the target is made all the same
        QCOMPARE(log.messages(appCategory), QStringList());
    }

    void unusableFolders_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("failure");
        QTest::newRow("target is a file")
            << u"src"_s << u"file/playlists"_s
            << u"Could not create the playlist folder %1/file/playlists: Not a directory"_s;
        QTest::newRow("source is a file")
            << u"file"_s << u"dst"_s << u"Could not list the playlist folder %1/file: Not a directory"_s;
    }

    void unusableFolders()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        fill(dir.filePath(u"src"_s), {"a.parvik=A"});
        writeFile(dir.filePath(u"file"_s), "plain");
        QCOMPARE(failureOf<Error>([&] { migratePlaylists(dir.filePath(from), dir.filePath(to)); }),
                 failure.arg(dir.path()));
    }

    // A copy that cannot be completed leaves nothing under the target's
    // name and no temporary file; files copied before it stay, and none after it is copied.
    void failedCopyLeavesNoPartialFile_data()
    {
        QTest::addColumn<bool>("readOnlyTarget");
        QTest::newRow("file-size limit") << false; // fails for root too
        QTest::newRow("read-only target") << true;
    }

    void failedCopyLeavesNoPartialFile()
    {
        QFETCH(bool, readOnlyTarget);
        QTemporaryDir dir;
        const QString from = dir.filePath(u"from"_s);
        const QString to = dir.filePath(u"to"_s);
        const QByteArray big(40000, 'x');
        fill(from, {"s1.parvik=small", "s2.parvik=small", "big.parvik=" + QString::fromLatin1(big), "s3.parvik=small"});
        QVERIFY(QDir().mkpath(to));
        QFile target(to);
        const QFileDevice::Permissions permissions = target.permissions();
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] {
            target.setPermissions(permissions);
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, previousHandler);
        });
        if (readOnlyTarget) {
            QVERIFY(target.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            if (QFile(to + u"/probe"_s).open(QIODevice::WriteOnly))
                QSKIP("This user writes into read-only folders (root); the file-size limit covers failed copies");
        } else {
            const rlimit limited{4096, previous.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        }

        const QString failure = failureOf<Error>([&] { migratePlaylists(from, to); });
        QVERIFY2(failure.startsWith(u"Could not copy the playlist file '"_s), qPrintable(failure));
        QVERIFY2(failure.endsWith(readOnlyTarget ? u"Permission denied"_s : u"File too large"_s), qPrintable(failure));
        const QStringList copied = snapshot(to);
        for (const QString& entry : copied)
            QVERIFY2(QRegularExpression(u"^s[123]\\.parvik=small$"_s).match(entry).hasMatch(), qPrintable(entry));
        if (!readOnlyTarget)
            QVERIFY(failure.contains(u"'big.parvik'"_s));
        // The listing order decides which came first; the rest was not tried.
        QVERIFY(copied.size() < 3);
    }

    // A copy killed half-way leaves its hidden temporary file behind; removing
    // the leftovers of interrupted copies takes that one and nothing else.
    void leftoversOfAKilledCopyAreRemoved()
    {
        QTemporaryDir dir;
        const QString from = dir.filePath(u"from"_s);
        const QString to = dir.filePath(u"to"_s);
        fill(from, {"big.parvik=" + QString(40000, u'x')});
        fill(to, {".parvik-copy-notes=mine", ".parvik-copy-Ab1234/", "parvik-copy-Ab1234=visible",
                  "a.parvik.AbcDef=a save's", "keep.parvik=K"});
        const QStringList others = snapshot(to);

        const pid_t child = fork();
        if (child == 0) {
            // Killed by the system when the copy grows past 4 KiB.
            const rlimit limited{4096, 4096};
            const rlimit noCore{0, 0};
            std::signal(SIGXFSZ, SIG_DFL);
            setrlimit(RLIMIT_CORE, &noCore);
            setrlimit(RLIMIT_FSIZE, &limited);
            migratePlaylists(from, to);
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        QCOMPARE(snapshot(to).size(), others.size() + 1);

        LogCapture log;
        removeInterruptedCopies(to);
        removeInterruptedCopies(dir.filePath(u"nowhere"_s));
        QCOMPARE(snapshot(to), others);
        QCOMPARE(log.messages(appCategory).size(), 1); // the removal, nothing failed
    }

    void stopRequestEndsTheMigration()
    {
        QTemporaryDir dir;
        const QString from = dir.filePath(u"from"_s);
        fill(from, {"a.parvik=A", "b.parvik=B"});
        std::stop_source stop;
        stop.request_stop();
        QCOMPARE(failureOf<Error>([&] { migratePlaylists(from, dir.filePath(u"to"_s), stop.get_token()); }),
                 CancellationError().description());
        QCOMPARE(snapshot(dir.filePath(u"to"_s)), QStringList());
    }
};

QTEST_GUILESS_MAIN(PlaylistMigrationTest)
#include "tst_playlistmigration.moc"
