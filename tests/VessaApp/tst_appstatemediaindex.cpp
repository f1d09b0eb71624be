// The media index at the app state's start, after a set-aside that the
// settings say was cut off (as a kill leaves it, or as a hand edit makes
// it).
#include "RaskoLocalFile/FileIdentity.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseSetAside.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/DatabaseFiles.h"

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
    keptCopyGone, // moved to the kept name, a new index made, then the kept copy deleted by hand
    notAName,     // two values, neither a name nor an identity
};

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
        QTest::newRow("deleted kept copy") << dated << Stored::keptCopyGone << 6 << false << QString();
        // A notice kept with it is not this key's to forget.
        QTest::newRow("not a name") << dated << Stored::notAName << 0 << false << "kept as said";
        // The file decided on at the index's path, at both names, at the kept name.
        for (const int steps : {1, 3, 4})
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
        MediaDatabase{path};
        addRowsLeftInWal(path, "/old", 120);
        // The identity form as a run that decided to move the file at the path stores it.
        QStringList value =
            MediaDatabaseSetAside::storedForm({nullptr, std::nullopt, kept, FileIdentity::withoutFollowingLinks(path)});
        if (stored == Stored::oldForm)
            value = QStringList{kept};
        if (stored == Stored::notAName)
            value = QStringList{"12", "34"};
        MediaDatabaseSetAside::moveAside(path, kept, stepsMade);
        if (stored == Stored::keptCopyGone) {
            MediaDatabase{path};
            addRowsLeftInWal(path, "/new", 120);
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
        const std::exception_ptr notice = state->scanErrors().scanError();
        state.reset();
        QCOMPARE(rowsIn(kept), movedAside ? 120 : -1);
        QCOMPARE(rowsIn(path), movedAside ? 0 : 120);
        QVERIFY(movedAside || !QFile::exists(kept + "-wal"));
        QVERIFY(!rig.settings()->contains(AppState::setAsideKey));
        // The notice kept with a move not made goes with it.
        QVERIFY2(told.isEmpty() ? !notice : describeException(notice).contains(told),
                 qPrintable(describeException(notice)));
        // Told once: the next start does not say it again.
        QVERIFY(!describeException(rig.start()->scanErrors().scanError()).contains("could not be set aside"));
    }
};

QTEST_GUILESS_MAIN(AppStateMediaIndexTest)
#include "tst_appstatemediaindex.moc"
