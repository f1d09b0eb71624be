// The media index around the app state's start: a set-aside that the
// settings say was cut off (as a kill leaves it, or as a hand edit makes
// it), and a backup put in the index's place while the program runs.
#include "RaskoLocalFile/FileIdentity.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseSetAside.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/DatabaseFiles.h"
#include "tests/support/FileFixture.h"

#include <QFile>
#include <QSettings>
#include <QTest>

using namespace vessa;
using namespace vessa::test;

namespace {

// What the settings hold under the set-aside key, and for which file.
enum class Stored {
    oldForm,      // the kept name alone, as an earlier version stored it
    thisFile,     // the kept name with the identity of the file at the index's path
    anotherFile,  // the kept name with the identity of some other file
    keptCopyGone, // moved to the kept name, a new index made, then the kept copy deleted by hand
    notAName,     // two values, neither a name nor an identity
};

QList<MediaDatabase::TrackRow> rowsUnder(const QString& folder, int count)
{
    QList<MediaDatabase::TrackRow> rows;
    for (int i = 0; i < count; ++i)
        rows.append(MediaDatabase::TrackRow(0, "Artist", "Album", QStringLiteral("Title %1").arg(i), 200,
                                            QStringLiteral("%1/%2.mp3").arg(folder).arg(i), "mp3",
                                            QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), {}, 1, 1));
    return rows;
}

// The key's value as a run that decided to move the file at `file` stores it.
QStringList storedFor(const QString& kept, const QString& file)
{
    return MediaDatabaseSetAside::storedForm({nullptr, std::nullopt, kept, FileIdentity::withoutFollowingLinks(file)});
}

} // namespace

Q_DECLARE_METATYPE(Stored)

class AppStateMediaIndexTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AppStateRig::keepOffTheSessionBus(); }

    // Whatever the key holds, the start goes ahead, the key goes, and the
    // index moves aside only when the key names the file that was decided
    // on; a move that cannot be made is told once.
    void storedSetAsideKey_data()
    {
        QTest::addColumn<QString>("keptName"); // after "media.db."
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<int>("stepsMade"); // of the move, before the run was cut off
        QTest::addColumn<bool>("movedAside");
        QTest::addColumn<QString>("told"); // part of the start's notice; empty: nothing more
        const QString dated = QStringLiteral("damaged-20240102-030405");
        const QString tooLong(300, u'x');
        QTest::newRow("long name") << tooLong << Stored::oldForm << 0 << false << QString();
        QTest::newRow("long name for the file there")
            << tooLong << Stored::thisFile << 0 << false << "could not be set aside as the last run had decided";
        QTest::newRow("free name") << dated << Stored::oldForm << 0 << false << QString();
        QTest::newRow("free name for another file") << dated << Stored::anotherFile << 0 << false << QString();
        QTest::newRow("deleted kept copy") << dated << Stored::keptCopyGone << 6 << false << QString();
        // A notice kept with it is not this key's to forget.
        QTest::newRow("not a name") << dated << Stored::notAName << 0 << false << "kept as said";
        for (int steps = 0; steps <= 5; ++steps)
            QTest::addRow("interrupted move, %d steps made", steps)
                << dated << Stored::thisFile << steps << true << "kept as said";
        QTest::newRow("interrupted move of the old form, database linked")
            << dated << Stored::oldForm << 3 << true << "kept as said";
        QTest::newRow("interrupted move of the old form, side files linked")
            << dated << Stored::oldForm << 2 << false << QString();
    }
    void storedSetAsideKey()
    {
        QFETCH(QString, keptName);
        QFETCH(Stored, stored);
        QFETCH(int, stepsMade);
        QFETCH(bool, movedAside);
        QFETCH(QString, told);
        AppStateRig rig;
        const QString path = AppState::databasePath();
        const QString kept = path + u'.' + keptName;
        QDir().mkpath(QFileInfo(path).path());
        MediaDatabase(path).upsert(rowsUnder("/old", 100));
        addRowsLeftInWal(path, "/wal", 20);
        QStringList value{kept};
        if (stored == Stored::thisFile || stored == Stored::keptCopyGone)
            value = storedFor(kept, path);
        if (stored == Stored::anotherFile)
            value = storedFor(kept, rig.home.path());
        if (stored == Stored::notAName)
            value = QStringList{"12", "34"};
        MediaDatabaseSetAside::moveAside(path, kept, stepsMade);
        if (stored == Stored::keptCopyGone) {
            MediaDatabase(path).upsert(rowsUnder("/new", 120));
            for (const char* suffix : {"", "-wal", "-shm"})
                QFile::remove(kept + suffix);
        }
        {
            const std::unique_ptr<QSettings> settings = rig.settings();
            settings->setValue(AppState::setAsideKey, value);
            settings->setValue(AppState::startupNoticeKey, QStringList{"The old index is kept as said: " + kept});
        }

        std::unique_ptr<AppState> state = rig.start();
        QVERIFY(state);
        const QString notice =
            state->scanErrors().scanError() ? describeException(state->scanErrors().scanError()) : QString();
        state.reset();
        QCOMPARE(rowsIn(kept), movedAside ? 120 : -1);
        QCOMPARE(rowsIn(path, "/old/"), movedAside || stored == Stored::keptCopyGone ? 0 : 100);
        QCOMPARE(rowsIn(path, "/new/"), stored == Stored::keptCopyGone ? 120 : 0);
        QVERIFY(movedAside || !QFile::exists(kept + "-wal"));
        QVERIFY(!rig.settings()->contains(AppState::setAsideKey));
        // The notice kept with a move not made goes with it.
        QVERIFY2(told.isEmpty() ? notice.isEmpty() : notice.contains(told), qPrintable(notice));
        // Told once: the next start does not say it again.
        state = rig.start();
        QVERIFY(!describeException(state->scanErrors().scanError()).contains("could not be set aside"));
    }

    // A backup put in the index's place while the program runs is noticed
    // at once, with nothing else going on, and kept whole through the rest
    // of the run and its end; the next start lists its tracks.
    void replacedIndexIsKept_data()
    {
        QTest::addColumn<Placing>("how");
        QTest::newRow("moved over it") << Placing::moved;
        QTest::newRow("copied over it") << Placing::copied;
    }
    void replacedIndexIsKept()
    {
        QFETCH(Placing, how);
        AppStateRig rig;
        const QString folder = rig.folder(QStringLiteral("a"));
        QVERIFY(!rig.writeWav(QStringLiteral("a/one.wav")).isEmpty());
        std::unique_ptr<AppState> state = rig.start();
        state->addWatchedDirectory(folder);
        QVERIFY(AppStateRig::scanned(*state) && state->scannedTracks().size() == 1);
        const QString path = AppState::databasePath();
        const QString backup = rig.home.filePath(QStringLiteral("backup.db"));
        MediaDatabase(backup).upsert(rowsUnder("/backup", 30));
        const QByteArray bytes = fileContent(backup);

        putInPlace(backup, path, how);
        QTRY_VERIFY(!QFile::exists(path + "-wal") && !QFile::exists(path + "-shm"));
        QCOMPARE(rowsIn(path), 30);
        if (how == Placing::copied) {
            state->rescanAll();
            QTRY_VERIFY(!state->isScanning() && state->scanErrors().scanError());
            const QString failure = describeException(state->scanErrors().scanError());
            QVERIFY2(failure.contains("overwritten while Vessa was running"), qPrintable(failure));
        }
        state.reset();
        QCOMPARE(fileContent(path), bytes);
        state = rig.start();
        state->reloadTracksFromDatabase();
        QTRY_COMPARE(state->scannedTracks().size(), 30);
    }
};

QTEST_GUILESS_MAIN(AppStateMediaIndexTest)
#include "tst_appstatemediaindex.moc"
