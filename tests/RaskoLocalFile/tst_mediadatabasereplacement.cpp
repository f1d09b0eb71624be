// A backup put in the media database's place while the database is open,
// moved or copied over it, and the program killed afterwards (the files as
// they are then, which the next start opens): at rest, after some steps of
// the look that leaves the backup alone, after the folder's watch looked, or
// at a clean quit instead.
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/MediaDatabaseWatch.h"
#include "tests/support/DatabaseFiles.h"
#include "tests/support/FailureText.h"
#include "tests/support/FileFixture.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace vessa;
using namespace vessa::test;

namespace {

constexpr int cleanQuit = -1;
constexpr int watched = -2;

// `count` rows under `folder`; paths of one length for every folder of one
// length, so that files of as many rows are of one size.
QList<MediaDatabase::TrackRow> rowsUnder(const QString& folder, int count)
{
    QList<MediaDatabase::TrackRow> rows;
    for (int i = 0; i < count; ++i)
        rows.append(MediaDatabase::TrackRow(
            0, "Artist", "Album", folder, 200, QStringLiteral("%1/%2.mp3").arg(folder).arg(i, 4, 10, QLatin1Char('0')),
            "mp3", QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC), {}, 1, 1));
    return rows;
}

} // namespace

class TestMediaDatabaseReplacement : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void replacedIndexOutlivesAKill_data()
    {
        // Copied: the database's file with the backup's bytes and size, so
        // that only its date tells. Frames in the WAL: rows committed and
        // not yet folded into the file, as while a batch is written.
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("framesInWal");
        QTest::addColumn<int>("steps"); // of the look before the kill
        for (const bool copied : {false, true}) {
            const char* how = copied ? "copied" : "moved";
            QTest::addRow("%s at rest, killed", how) << copied << false << 0;
            // With frames in the WAL, a kill before the look removes it
            // loses the backup; the folder's watch makes that moment short.
            for (int steps = 1; steps <= 2; ++steps)
                QTest::addRow("%s while writing, killed after %d", how, steps) << copied << true << steps;
            QTest::addRow("%s while writing, killed after the watch", how) << copied << true << watched;
            QTest::addRow("%s at rest, clean quit", how) << copied << false << cleanQuit;
            QTest::addRow("%s while writing, clean quit", how) << copied << true << cleanQuit;
        }
    }
    void replacedIndexOutlivesAKill()
    {
        QFETCH(bool, copied);
        QFETCH(bool, framesInWal);
        QFETCH(int, steps);
        const QString file = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".db");
        const QString backup = file + ".backup";
        MediaDatabase(backup).upsert(rowsUnder("/bak", 30));
        const QByteArray bytes = fileContent(backup);
        // The database open with as many rows, written by several calls.
        auto database = std::make_shared<MediaDatabase>(file);
        for (const char* folder : {"/ow1", "/ow2", "/ow3"})
            database->upsert(rowsUnder(folder, 10));
        if (framesInWal)
            addRowsLeftInWal(file, "/frames", 200);
        auto watch = steps == watched ? std::make_unique<MediaDatabaseWatch>(database) : nullptr;

        if (copied) {
            QCOMPARE(QFileInfo(file).size(), bytes.size());
            writeFile(file, bytes);
        } else {
            QCOMPARE(std::rename(QFile::encodeName(backup).constData(), QFile::encodeName(file).constData()), 0);
        }
        if (watch)
            QTRY_VERIFY(!QFile::exists(file + "-wal") && !QFile::exists(file + "-shm"));
        else if (steps != cleanQuit)
            QVERIFY(database->noticeReplacement(steps));
        if (steps != cleanQuit) {
            QCOMPARE(rowsIn(file, "/bak/"), 30);
            QCOMPARE(rowsIn(file), 30);
            QVERIFY(database->noticeReplacement());
        }
        watch.reset();
        // The run goes on with its own file, or writes nothing more into
        // the one overwritten.
        if (copied) {
            const QString refused = failureOf<MediaDatabaseError>([&] { database->upsert(rowsUnder("/ow4", 1)); });
            QVERIFY2(refused.contains("overwritten while Vessa was running"), qPrintable(refused));
        } else {
            database->upsert(rowsUnder("/ow4", 1));
            QCOMPARE(database->allTracks().size(), framesInWal ? 231 : 31);
        }
        database.reset();
        QCOMPARE(fileContent(file), bytes);
        // The next start opens it like any index.
        QCOMPARE(MediaDatabase(file).allTracks().size(), 30);
    }
};

QTEST_GUILESS_MAIN(TestMediaDatabaseReplacement)
#include "tst_mediadatabasereplacement.moc"
