#include "Vessa/App/Playlists/LibraryStorageLocation.h"
#include "Vessa/App/Playlists/PlaylistDirectory.h"
#include "Vessa/App/Playlists/PlaylistStorageSwitcher.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/ThreadStart.h"
#include "tests/support/FileFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RefusedThreads.h"

#include <QtTest>

#include <memory>

using namespace vessa;
using namespace Qt::StringLiterals;
using vessa::test::fileContent;
using vessa::test::LogCapture;
using vessa::test::writeFile;

Q_DECLARE_METATYPE(vessa::LibraryStorageLocation)

namespace {

const QString appCategory = u"com.tornwick.vessa.App"_s;
const QString fallbackLine = u"Cloud folder requested but unavailable, falling back to local storage"_s;

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A cloud folder, a local playlist folder and the settings that name the
// cloud folder, as the app keeps them, with a switcher over them.
struct Storage {
    Storage()
        : settings(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
          local(dir.filePath(u"local/playlists"_s)),
          cloud(dir.filePath(u"cloud"_s))
    {
        QDir().mkpath(cloud);
        settings.setValue(PlaylistDirectory::cloudContainerDirectoryKey, cloud);
    }

    QString resolve() const
    {
        return PlaylistDirectory::resolve(
            preference, settings.value(PlaylistDirectory::cloudContainerDirectoryKey).toString(), local);
    }

    PlaylistStorageSwitcher& switcher()
    {
        if (!m_switcher)
            m_switcher = std::make_unique<PlaylistStorageSwitcher>(
                resolve(), [this] { return resolve(); },
                [this](const PlaylistStorageSwitcher::Switch& done) {
                    switches.append(done.from + u" -> "_s + done.to);
                    kept += done.keptDiffering;
                    errors.append(done.migrationError ? describeException(done.migrationError) : QString());
                },
                journaled ? &settings : nullptr);
        return *m_switcher;
    }

    void destroySwitcher() { m_switcher.reset(); }

    QTemporaryDir dir;
    QSettings settings;
    QString local;
    QString cloud;
    LibraryStorageLocation preference = LibraryStorageLocation::automatic;
    bool journaled = false; // the switcher keeps its journal in the settings
    QStringList switches;
    QStringList errors;
    QStringList kept;

private:
    std::unique_ptr<PlaylistStorageSwitcher> m_switcher;
};

} // namespace

class PlaylistStorageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void rawTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<LibraryStorageLocation>("location");
        QTest::newRow("automatic") << u"automatic"_s << true << LibraryStorageLocation::automatic;
        QTest::newRow("icloud") << u"icloud"_s << true << LibraryStorageLocation::icloud;
        QTest::newRow("local") << u"local"_s << true << LibraryStorageLocation::local;
        QTest::newRow("other case") << u"iCloud"_s << false << LibraryStorageLocation::automatic;
        QTest::newRow("padded") << u" local"_s << false << LibraryStorageLocation::automatic;
        QTest::newRow("empty") << QString() << false << LibraryStorageLocation::automatic;
    }

    void rawTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(LibraryStorageLocation, location);
        const std::optional<LibraryStorageLocation> parsed = libraryStorageLocationFromString(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid) {
            QVERIFY(*parsed == location);
            QCOMPARE(toString(location), text);
        }
    }

    void allCasesInPickerOrder()
    {
        QStringList texts;
        for (const LibraryStorageLocation location : libraryStorageLocationAllCases)
            texts.append(toString(location));
        QCOMPARE(texts, (QStringList{"automatic", "icloud", "local"}));
    }

    void localFolderIsUnderTheDataFolder()
    {
        QCOMPARE(PlaylistDirectory::local(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Tornwick/playlists"_s);
    }

    void resolve_data()
    {
        QTest::addColumn<LibraryStorageLocation>("preference");
        QTest::addColumn<QString>("cloudSetting"); // "%1" is the temporary folder
        QTest::addColumn<QString>("expected");     // "local" or a path below the temporary folder
        QTest::addColumn<bool>("logsFallback");

        const auto automatic = LibraryStorageLocation::automatic;
        const auto icloud = LibraryStorageLocation::icloud;
        const auto local = LibraryStorageLocation::local;
        QTest::newRow("automatic, cloud") << automatic << u"%1/cloud"_s << u"%1/cloud/playlists"_s << false;
        QTest::newRow("icloud, cloud") << icloud << u"%1/cloud/"_s << u"%1/cloud/playlists"_s << false;
        QTest::newRow("local, cloud") << local << u"%1/cloud"_s << u"local"_s << false;
        QTest::newRow("automatic, unset") << automatic << QString() << u"local"_s << false;
        QTest::newRow("icloud, unset") << icloud << QString() << u"local"_s << false; // none chosen yet
        QTest::newRow("icloud, missing folder") << icloud << u"%1/gone"_s << u"local"_s << true;
        QTest::newRow("icloud, a file") << icloud << u"%1/file"_s << u"local"_s << true;
        QTest::newRow("automatic, relative path") << automatic << u"cloud"_s << u"local"_s << false;
        QTest::newRow("local, unset") << local << QString() << u"local"_s << false;
    }

    void resolve()
    {
        QFETCH(LibraryStorageLocation, preference);
        QFETCH(QString, cloudSetting);
        QFETCH(QString, expected);
        QFETCH(bool, logsFallback);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"cloud"_s));
        writeFile(dir.filePath(u"file"_s), "x");
        const QString localFolder = dir.filePath(u"local/playlists"_s);
        LogCapture log;

        const QString setting = QString(cloudSetting).replace(u"%1"_s, dir.path());
        const QString resolved = PlaylistDirectory::resolve(preference, setting, localFolder);
        QCOMPARE(resolved, expected == u"local" ? localFolder : QString(expected).replace(u"%1"_s, dir.path()));
        QCOMPARE(log.messages(appCategory), logsFallback ? QStringList{fallbackLine} : QStringList());
        QVERIFY(!QFileInfo::exists(dir.filePath(u"cloud/playlists"_s))); // nothing created
    }

    void sameFolder()
    {
        QVERIFY(PlaylistDirectory::isSame(u"/a/b"_s, u"/a//b/"_s));
        QVERIFY(PlaylistDirectory::isSame(u"/a/./b"_s, u"/a/b"_s));
        QVERIFY(!PlaylistDirectory::isSame(u"/a/b"_s, u"/a/B"_s));
    }

    // Both preferences name the cloud folder: nothing is copied, no line logged.
    void sameFolderDoesNotSwitch()
    {
        Storage storage;
        writeFile(storage.cloud + u"/playlists/a.parvik"_s, "A");
        PlaylistStorageSwitcher& switcher = storage.switcher();
        LogCapture log;
        storage.preference = LibraryStorageLocation::icloud;
        switcher.requestSwitch();
        QVERIFY(switcher.isSwitching()); // the request returns at once
        QTRY_VERIFY(!switcher.isSwitching());
        QCOMPARE(storage.switches, QStringList());
        QCOMPARE(log.messages(appCategory), QStringList());
        QVERIFY(!QFileInfo::exists(storage.local));
    }

    void cloudToLocalCopiesAndKeepsExistingNames()
    {
        Storage storage;
        storage.preference = LibraryStorageLocation::icloud;
        const QString cloudPlaylists = storage.cloud + u"/playlists"_s;
        writeFile(cloudPlaylists + u"/a.parvik"_s, "cloud A");
        writeFile(cloudPlaylists + u"/b.parvik"_s, "cloud B");
        writeFile(cloudPlaylists + u"/C.PARVIK"_s, "upper case");
        writeFile(storage.local + u"/a.parvik"_s, "local A");
        PlaylistStorageSwitcher& switcher = storage.switcher();
        LogCapture log;

        storage.preference = LibraryStorageLocation::local;
        switcher.requestSwitch();
        QTRY_VERIFY(!switcher.isSwitching());
        QCOMPARE(storage.switches, QStringList{cloudPlaylists + u" -> "_s + storage.local});
        QCOMPARE(storage.errors, QStringList{QString()});
        QCOMPARE(storage.kept, QStringList{"a"});
        QCOMPARE(switcher.currentFolder(), storage.local);
        QCOMPARE(namesIn(storage.local), (QStringList{"a.parvik", "b.parvik"}));
        QCOMPARE(fileContent(storage.local + u"/a.parvik"_s), "local A");
        QCOMPARE(fileContent(storage.local + u"/b.parvik"_s), "cloud B");
        QCOMPARE(namesIn(cloudPlaylists), (QStringList{"C.PARVIK", "a.parvik", "b.parvik"})); // copied, not moved
        QCOMPARE(log.messages(appCategory),
                 (QStringList{u"Migrating playlists from %1 to %2"_s.arg(cloudPlaylists, storage.local),
                              u"Migrated 1 playlist(s)"_s}));
    }

    void changedCloudFolderSwitches()
    {
        Storage storage;
        writeFile(storage.cloud + u"/playlists/a.parvik"_s, "A");
        PlaylistStorageSwitcher& switcher = storage.switcher();
        const QString otherCloud = storage.dir.filePath(u"other cloud"_s);
        QVERIFY(QDir().mkpath(otherCloud));

        storage.settings.setValue(PlaylistDirectory::cloudContainerDirectoryKey, otherCloud);
        switcher.requestSwitch();
        QTRY_VERIFY(!switcher.isSwitching());
        QCOMPARE(storage.switches, QStringList{storage.cloud + u"/playlists -> "_s + otherCloud + u"/playlists"_s});
        QCOMPARE(fileContent(otherCloud + u"/playlists/a.parvik"_s), "A");

        // The cloud folder is removed from the settings: back to the local folder.
        storage.settings.remove(PlaylistDirectory::cloudContainerDirectoryKey);
        switcher.requestSwitch();
        QTRY_VERIFY(!switcher.isSwitching());
        QCOMPARE(storage.switches.value(1), otherCloud + u"/playlists -> "_s + storage.local);
        QCOMPARE(fileContent(storage.local + u"/a.parvik"_s), "A");
    }

    // Each queued switch starts from where the one before it ended.
    void switchesRunOneAfterTheOther()
    {
        Storage storage;
        const QString cloudPlaylists = storage.cloud + u"/playlists"_s;
        writeFile(cloudPlaylists + u"/a.parvik"_s, "A");
        const QString otherCloud = storage.dir.filePath(u"other"_s);
        QVERIFY(QDir().mkpath(otherCloud));
        QStringList targets{storage.local, otherCloud + u"/playlists"_s};
        QStringList switches;
        PlaylistStorageSwitcher switcher(
            cloudPlaylists, [&] { return targets.takeFirst(); },
            [&](const PlaylistStorageSwitcher::Switch& done) {
                switches.append(done.from + u" -> "_s + done.to);
                // The files of the switch are in place when it is reported.
                QCOMPARE(fileContent(done.to + u"/a.parvik"_s), "A");
            });
        switcher.requestSwitch();
        switcher.requestSwitch();
        QTRY_VERIFY(!switcher.isSwitching());
        QCOMPARE(switches, (QStringList{cloudPlaylists + u" -> "_s + storage.local,
                                        storage.local + u" -> "_s + otherCloud + u"/playlists"_s}));
    }

    // A failed copy is reported and logged, and the storage stays where it was.
    void failedMigrationKeepsTheStorage()
    {
        Storage storage;
        writeFile(storage.cloud + u"/playlists/a.parvik"_s, "A");
        writeFile(storage.dir.filePath(u"blocked"_s), "a file where the folder's parent should be");
        storage.local = storage.dir.filePath(u"blocked/playlists"_s);
        PlaylistStorageSwitcher& switcher = storage.switcher();
        LogCapture log;

        storage.preference = LibraryStorageLocation::local;
        switcher.requestSwitch();
        QTRY_VERIFY(!switcher.isSwitching());
        const QString failure = u"Could not create the playlist folder %1: Not a directory"_s.arg(storage.local);
        QCOMPARE(storage.errors, QStringList{failure});
        QCOMPARE(switcher.currentFolder(), storage.cloud + u"/playlists"_s);
        QCOMPARE(log.messages(appCategory).value(1), u"Playlist migration failed: "_s + failure);
    }

    void refusedThread_data()
    {
        QTest::addColumn<bool>("leftovers");
        QTest::newRow("copying") << false;
        QTest::newRow("removing an interrupted copy's leftovers") << true;
    }
    // A copy whose thread the system refuses fails as a copy that failed, and
    // the storage stays; removing an interrupted copy's leftovers waits for a
    // thread instead, and the switch behind it. Once threads may start, the
    // switch is made.
    void refusedThread()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        QFETCH(bool, leftovers);
        Storage storage;
        storage.journaled = true;
        writeFile(storage.cloud + u"/playlists/a.parvik"_s, "A");
        const QString leftover = storage.local + u"/.parvik-copy-abc123"_s;
        if (leftovers) {
            writeFile(leftover, "half a playlist");
            storage.settings.setValue(PlaylistStorageSwitcher::copyingIntoKey, storage.local);
        }
        LogCapture log;
        std::optional<test::RefusedThreads> refusal(std::in_place);
        PlaylistStorageSwitcher& switcher = storage.switcher();
        storage.preference = LibraryStorageLocation::local;
        switcher.requestSwitch();
        if (leftovers) {
            QTest::qWait(int(threadStartRetryInterval.count()) * 5 / 2);
            QVERIFY(switcher.isSwitching() && QFileInfo::exists(leftover));
            // Told once, not at every try.
            QCOMPARE(log.messages(appCategory).filter(u"waits for a thread"_s).size(), 1);
        } else {
            QTRY_VERIFY(!switcher.isSwitching());
            QCOMPARE(storage.errors, QStringList{test::RefusedThreads::refusalText()});
            QCOMPARE(switcher.currentFolder(), storage.cloud + u"/playlists"_s);
            QVERIFY(!storage.settings.contains(PlaylistStorageSwitcher::copyingIntoKey));
        }
        refusal.reset();
        if (!leftovers)
            switcher.requestSwitch();
        QTRY_VERIFY(!switcher.isSwitching());
        QCOMPARE(switcher.currentFolder(), storage.local);
        QCOMPARE(fileContent(storage.local + u"/a.parvik"_s), "A");
        QVERIFY(!QFileInfo::exists(leftover));
    }

    // Destroying the switcher mid-copy stops it; no file is left half-written.
    void destroyedWhileCopyingLeavesWholeFilesOnly()
    {
        Storage storage;
        const QString cloudPlaylists = storage.cloud + u"/playlists"_s;
        const QByteArray big(4 * 1024 * 1024, 'p');
        for (int i = 0; i < 8; ++i)
            writeFile(cloudPlaylists + u"/p%1.parvik"_s.arg(i), big);
        PlaylistStorageSwitcher& switcher = storage.switcher();
        storage.preference = LibraryStorageLocation::local;
        switcher.requestSwitch();
        QTRY_VERIFY(QFileInfo::exists(storage.local)); // the copy has begun
        // On a busy machine the copy may already have finished and reported.
        const QStringList reported = storage.switches;
        storage.destroySwitcher();
        QCoreApplication::processEvents();
        QCOMPARE(storage.switches, reported);
        for (const QString& name : namesIn(storage.local)) {
            QVERIFY2(!name.startsWith(u'.'), qPrintable(name));
            QCOMPARE(QFileInfo(storage.local + u'/' + name).size(), big.size());
        }
    }
};

QTEST_GUILESS_MAIN(PlaylistStorageTest)
#include "tst_playliststorage.moc"
