#include "Vessa/App/Updates/Updater.h"
#include "Vessa/Views/Settings/LibraryStorageSection.h"
#include "Vessa/Views/Settings/SettingsView.h"
#include "Vessa/Views/Settings/WatchedFolderRow.h"
#include "Vessa/Views/Shared/ElidedLabel.h"
#include "tests/VessaApp/AppStateRig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace vessa;

class SettingsViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::AppStateRig> m_rig;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<QSettings> m_updaterSettings;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<SettingsView> m_view;
    std::optional<QString> m_chosenFolder;
    QStringList m_messages;

    void makeView()
    {
        m_view = std::make_unique<SettingsView>(*m_state, *m_updater, [this](QWidget*, const QString& message) {
            m_messages << message;
            return m_chosenFolder;
        });
        m_view->resize(500, 600);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    QStringList rowTexts() const
    {
        QStringList texts;
        for (WatchedFolderRow* row : m_view->folderRows())
            texts << row->findChild<QLabel*>("folderName")->text() + u'|' + row->pathLabel()->fullText() + u'|'
                         + row->findChild<QLabel*>("trackCount")->text();
        return texts;
    }

private slots:
    void init()
    {
        test::AppStateRig::keepOffTheSessionBus();
        m_rig = std::make_unique<test::AppStateRig>();
        m_state = m_rig->start();
        QVERIFY(m_state);
        m_updaterSettings = m_rig->settings();
        m_updater = std::make_unique<Updater>(*m_updaterSettings, "1.0");
        m_chosenFolder.reset();
        m_messages.clear();
    }

    void cleanup()
    {
        m_view.reset();
        m_updater.reset();
        m_state.reset();
        m_rig.reset();
    }

    void rescanRule_data()
    {
        QTest::addColumn<bool>("scanning");
        QTest::addColumn<int>("folders");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("no folders") << false << 0 << false;
        QTest::newRow("no folders, scanning") << true << 0 << false;
        QTest::newRow("one folder") << false << 1 << true;
        QTest::newRow("one folder, scanning") << true << 1 << false;
        QTest::newRow("three folders") << false << 3 << true;
    }

    void rescanRule()
    {
        QFETCH(bool, scanning);
        QFETCH(int, folders);
        QFETCH(bool, enabled);
        QCOMPARE(SettingsView::canRescan(scanning, folders), enabled);
    }

    void progressTexts_data()
    {
        QTest::addColumn<std::optional<LibraryScanProgress>>("progress");
        QTest::addColumn<QString>("text");
        QTest::newRow("before the first report") << std::optional<LibraryScanProgress>() << "Scanning...";
        QTest::newRow("counted") << std::optional<LibraryScanProgress>(LibraryScanProgress{12, 340})
                                 << "Scanning 12/340...";
        QTest::newRow("none yet") << std::optional<LibraryScanProgress>(LibraryScanProgress{0, 0}) << "Scanning 0/0...";
        QTest::newRow("large") << std::optional<LibraryScanProgress>(LibraryScanProgress{123456789012, 123456789013})
                               << "Scanning 123456789012/123456789013...";
    }

    void progressTexts()
    {
        QFETCH(std::optional<LibraryScanProgress>, progress);
        QFETCH(QString, text);
        QCOMPARE(SettingsView::scanningText(progress), text);
    }

    void trackCountTexts()
    {
        QCOMPARE(WatchedFolderRow::trackCountText(0), QString("0 tracks"));
        QCOMPARE(WatchedFolderRow::trackCountText(1), QString("1 tracks"));
        QCOMPARE(WatchedFolderRow::trackCountText(4294967296), QString("4294967296 tracks"));
    }

    void withoutFoldersOnlyAddIsOffered()
    {
        makeView();
        QVERIFY(m_view->emptyFoldersLabel()->isVisible());
        QCOMPARE(m_view->emptyFoldersLabel()->text(), QString("No folders added yet."));
        QVERIFY(m_view->folderRows().isEmpty());
        QVERIFY(!m_view->rescanButton()->isEnabled());
        QVERIFY(m_view->addButton()->isEnabled());
        QVERIFY(!m_view->progressRow()->isVisible());
        QStringList footers;
        for (QLabel* label : m_view->findChildren<QLabel*>("sectionFooter"))
            footers << label->text();
        QVERIFY(footers.contains("Vessa scans these folders for audio files and indexes their metadata."));
    }

    void theChosenFolderIsAddedAndScanned()
    {
        m_rig->writeWav("Jazz/one.wav");
        m_rig->writeWav("Jazz/two.wav");
        const QString folder = m_rig->folder("Jazz");
        makeView();

        // Cancelled: nothing changes, nothing scans.
        m_view->addButton()->click();
        QCOMPARE(m_messages, QStringList{"Choose a folder containing music files"});
        QVERIFY(m_state->watchedDirectories().isEmpty());
        QVERIFY(!m_state->isScanning());

        m_chosenFolder = folder;
        m_view->addButton()->click();
        QCOMPARE(m_state->watchedDirectories(), QStringList{folder});
        QVERIFY(m_state->isScanning());
        QTRY_VERIFY(m_view->progressRow()->isVisible() || !m_state->isScanning());
        QVERIFY(test::AppStateRig::holds(*m_state, 2));
        QTRY_VERIFY(!m_state->isScanning());
        QTRY_COMPARE(rowTexts(), QStringList{"Jazz|" + folder + "|2 tracks"});
        QVERIFY(m_view->folderRows().constFirst()->isVisible());
        QVERIFY(!m_view->emptyFoldersLabel()->isVisible());
        QVERIFY(!m_view->progressRow()->isVisible());
        QVERIFY(m_view->rescanButton()->isEnabled());
        // A picture to look at.
        QVERIFY(QDir().mkpath("artefacts"));
        QVERIFY(m_view->grab().save("artefacts/settings-window.png"));

        // The same folder again: still one row, and it scans again.
        m_view->addButton()->click();
        QCOMPARE(m_state->watchedDirectories(), QStringList{folder});
        QVERIFY(m_state->isScanning());
        QTRY_VERIFY(!m_view->rescanButton()->isEnabled() || !m_state->isScanning());
        QTRY_VERIFY(!m_state->isScanning());
        QTRY_VERIFY(m_view->rescanButton()->isEnabled());
    }

    void removingAFolderTakesItsRowAway()
    {
        m_rig->writeWav("A/one.wav");
        const QString a = m_rig->folder("A");
        const QString b = m_rig->folder("B");
        m_state->addWatchedDirectory(a);
        m_state->addWatchedDirectory(b);
        QVERIFY(test::AppStateRig::scanned(*m_state));
        makeView();
        QTRY_COMPARE(rowTexts(), (QStringList{"A|" + a + "|1 tracks", "B|" + b + "|0 tracks"}));

        m_view->folderRows().constFirst()->removeButton()->click();
        QCOMPARE(m_state->watchedDirectories(), QStringList{b});
        QTRY_COMPARE(rowTexts(), QStringList{"B|" + b + "|0 tracks"});
    }

    void aLongPathLosesItsMiddle()
    {
        const QString folder = m_rig->folder(QString(40, 'x') + "/" + QString(40, 'y') + "/" + QString(40, 'z'));
        m_state->addWatchedDirectory(folder);
        makeView();
        m_view->resize(320, 400);
        QTRY_COMPARE(m_view->folderRows().size(), 1);
        ElidedLabel* path = m_view->folderRows().constFirst()->pathLabel();
        QTRY_VERIFY(path->text() != folder);
        QVERIFY(path->text().contains(QChar(0x2026)));
        QVERIFY(path->text().startsWith(folder.left(3)));
        QVERIFY(path->text().endsWith(folder.right(3)));
        QCOMPARE(path->toolTip(), folder);
    }

    void storageFooters_data()
    {
        QTest::addColumn<LibraryStorageLocation>("location");
        QTest::addColumn<bool>("usingCloud");
        QTest::addColumn<QString>("footer");
        const QString unavailable = "The cloud folder is not available. Playlists are stored on this device.";
        QTest::newRow("automatic, cloud")
            << LibraryStorageLocation::automatic << true << "Playlists are syncing via the cloud folder.";
        QTest::newRow("automatic, no cloud") << LibraryStorageLocation::automatic << false << unavailable;
        QTest::newRow("cloud, cloud") << LibraryStorageLocation::icloud << true
                                      << "Playlists are stored in the cloud folder and sync across devices.";
        QTest::newRow("cloud, no cloud") << LibraryStorageLocation::icloud << false << unavailable;
        QTest::newRow("local") << LibraryStorageLocation::local << false << "Playlists are stored only on this device.";
        QTest::newRow("local, cloud") << LibraryStorageLocation::local << true
                                      << "Playlists are stored only on this device.";
    }

    void storageFooters()
    {
        QFETCH(LibraryStorageLocation, location);
        QFETCH(bool, usingCloud);
        QFETCH(QString, footer);
        QCOMPARE(LibraryStorageSection::footer(location, usingCloud), footer);
    }

    void thePickerAndTheCloudFolderWriteTheStorage()
    {
        makeView();
        LibraryStorageSection* storage = m_view->storageSection();
        QComboBox* picker = storage->picker();
        QStringList labels;
        for (int i = 0; i < picker->count(); ++i)
            labels << picker->itemText(i);
        QCOMPARE(labels, (QStringList{"Automatic", "Cloud Folder", "On This Device"}));
        QCOMPARE(picker->currentText(), QString("Automatic"));
        QCOMPARE(storage->footerLabel()->text(),
                 QString("The cloud folder is not available. Playlists are stored on this device."));
        QCOMPARE(storage->cloudFolderLabel()->fullText(), QString("None chosen"));

        // Choosing the cloud folder: the automatic storage now syncs there.
        const QString cloud = m_rig->folder("Sync");
        m_chosenFolder = cloud;
        storage->chooseCloudFolderButton()->click();
        QCOMPARE(m_state->storagePreferences().cloudContainerDirectory(), cloud);
        QTRY_COMPARE(storage->cloudFolderLabel()->fullText(), cloud);
        QTRY_COMPARE(storage->footerLabel()->text(), QString("Playlists are syncing via the cloud folder."));

        // Picking writes the app state's preference.
        picker->setCurrentIndex(2);
        emit picker->activated(2);
        QVERIFY(m_state->storagePreferences().storageLocation() == LibraryStorageLocation::local);
        QTRY_COMPARE(storage->footerLabel()->text(), QString("Playlists are stored only on this device."));
        m_state->storagePreferences().setStorageLocation(LibraryStorageLocation::icloud);
        QTRY_COMPARE(picker->currentText(), QString("Cloud Folder"));
        QTRY_COMPARE(storage->footerLabel()->text(),
                     QString("Playlists are stored in the cloud folder and sync across devices."));
        QTRY_VERIFY(!m_state->isSwitchingStorage());

        // A cancelled choice keeps the cloud folder.
        m_chosenFolder.reset();
        storage->chooseCloudFolderButton()->click();
        QCOMPARE(m_state->storagePreferences().cloudContainerDirectory(), cloud);
    }

    void theUpdatesToggleIsTheUpdatersSetting()
    {
        makeView();
        QCheckBox* toggle = m_view->automaticChecksToggle();
        QCOMPARE(toggle->text(), QString("Automatically check for updates"));
        QVERIFY(!toggle->isChecked());
        toggle->click();
        QVERIFY(m_updater->automaticallyChecksForUpdates());
        m_updater->setAutomaticallyChecksForUpdates(false);
        QVERIFY(!toggle->isChecked());
    }
};

QTEST_MAIN(SettingsViewTest)
#include "tst_settingsview.moc"
