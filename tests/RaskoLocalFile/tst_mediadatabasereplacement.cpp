// A backup put in the media database's place while the database is open,
// moved over it or copied over it, and the program killed afterwards: at
// rest, after each step of the look that leaves the backup alone, or at a
// clean quit instead. A kill is the files as they are at that moment, which
// the next start would open.
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/MediaDatabaseWatch.h"
#include "tests/support/DatabaseFiles.h"
#include "tests/support/FailureText.h"
#include "tests/support/FileFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using vessa::MediaDatabase;
using vessa::MediaDatabaseError;
using vessa::test::addRowsLeftInWal;
using vessa::test::failureOf;
using vessa::test::fileContent;
using vessa::test::Placing;
using vessa::test::rowsIn;
using Row = MediaDatabase::TrackRow;

namespace {

// How the backup takes the database's place.
enum class Put {
    moved,       // renamed over it: another file at the path
    copied,      // its bytes written over the database's: the same file, other contents
    copiedAlike, // the same, with the database's size: only the date tells
};

// `count` rows under `folder`; paths and titles of one length for every folder of one length.
QList<Row> rowsUnder(const QString& folder, int count)
{
    QList<Row> rows;
    for (int i = 0; i < count; ++i)
        rows.append(Row(0, "Artist", "Album", folder, 200,
                        QStringLiteral("%1/%2.mp3").arg(folder).arg(i, 4, 10, QLatin1Char('0')), "mp3",
                        QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC), {}, 1, 1));
    return rows;
}

void putInPlace(const QString& backup, const QString& file, Put put)
{
    if (put == Put::copiedAlike)
        QCOMPARE(QFileInfo(backup).size(), QFileInfo(file).size());
    vessa::test::putInPlace(backup, file, put == Put::moved ? Placing::moved : Placing::copied);
}

} // namespace

Q_DECLARE_METATYPE(Put)

class TestMediaDatabaseReplacement : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A closed backup of 30 rows, and the database at `file` open with 30
    // rows of its own, written by several calls; with `framesInWal`, more
    // rows committed into its WAL and not yet folded into it, as while a
    // batch is written.
    std::unique_ptr<MediaDatabase> openWithBackup(const QString& file, bool framesInWal)
    {
        MediaDatabase(file + ".backup").upsert(rowsUnder("/bak", 30));
        auto database = std::make_unique<MediaDatabase>(file);
        for (const char* folder : {"/ow1", "/ow2", "/ow3"})
            database->upsert(rowsUnder(folder, 10));
        if (framesInWal)
            addRowsLeftInWal(file, "/frames", 200);
        return database;
    }

private slots:
    void replacedIndexOutlivesAKill_data()
    {
        QTest::addColumn<Put>("put");
        QTest::addColumn<bool>("framesInWal");
        QTest::addColumn<int>("steps"); // of the look before the kill; -1: a clean quit instead
        const std::pair<Put, const char*> puts[] = {
            {Put::moved, "moved"}, {Put::copied, "copied"}, {Put::copiedAlike, "copied alike"}};
        for (const auto& [put, how] : puts) {
            for (int steps = 0; steps <= 2; ++steps)
                QTest::addRow("%s at rest, killed after %d", how, steps) << put << false << steps;
            // With frames in the WAL, a kill before the look removes it
            // loses the backup; the folder's watch makes that moment short.
            for (int steps = 1; steps <= 2; ++steps)
                QTest::addRow("%s while writing, killed after %d", how, steps) << put << true << steps;
            QTest::addRow("%s at rest, clean quit", how) << put << false << -1;
            QTest::addRow("%s while writing, clean quit", how) << put << true << -1;
        }
    }
    void replacedIndexOutlivesAKill()
    {
        QFETCH(Put, put);
        QFETCH(bool, framesInWal);
        QFETCH(int, steps);
        const QString file = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".db");
        std::unique_ptr<MediaDatabase> database = openWithBackup(file, framesInWal);
        const QByteArray backup = fileContent(file + ".backup");
        putInPlace(file + ".backup", file, put);
        if (steps >= 0) {
            QVERIFY(database->noticeReplacement(steps));
            QCOMPARE(rowsIn(file, "/bak/"), 30);
            QCOMPARE(rowsIn(file), 30);
            QVERIFY(database->noticeReplacement());
        }
        // The run goes on with its own file, or writes nothing more into
        // the one overwritten.
        if (put == Put::moved) {
            database->upsert(rowsUnder("/ow4", 1));
            QCOMPARE(database->allTracks().size(), framesInWal ? 231 : 31);
        } else {
            const QString refused = failureOf<MediaDatabaseError>([&] { database->upsert(rowsUnder("/ow4", 1)); });
            QVERIFY2(refused.contains("overwritten while Vessa was running"), qPrintable(refused));
        }
        database.reset();
        QCOMPARE(fileContent(file), backup);
        QCOMPARE(rowsIn(file), 30);
        // The next start opens it like any index.
        QCOMPARE(MediaDatabase(file).allTracks().size(), 30);
    }

    // The folder's watch notices the backup without any call of the
    // database's, and takes this run's side files away from it.
    void watchNoticesAFilePutInPlace_data()
    {
        QTest::addColumn<Put>("put");
        QTest::newRow("moved") << Put::moved;
        QTest::newRow("copied") << Put::copied;
    }
    void watchNoticesAFilePutInPlace()
    {
        QFETCH(Put, put);
        const QString file = m_dir.filePath(QStringLiteral("watched-%1.db").arg(QTest::currentDataTag()));
        const std::shared_ptr<MediaDatabase> database = openWithBackup(file, true);
        vessa::MediaDatabaseWatch watch(database);
        QVERIFY(watch.isWatching());
        putInPlace(file + ".backup", file, put);
        QTRY_VERIFY(!QFile::exists(file + "-wal") && !QFile::exists(file + "-shm"));
        QCOMPARE(rowsIn(file), 30);
    }
};

QTEST_GUILESS_MAIN(TestMediaDatabaseReplacement)
#include "tst_mediadatabasereplacement.moc"
