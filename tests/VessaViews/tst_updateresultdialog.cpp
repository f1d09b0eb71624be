#include "Vessa/App/Updates/Updater.h"
#include "Vessa/Views/Settings/UpdateResultDialog.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/support/ImageFixture.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

using namespace vessa;
using Outcome = UpdateCheckResult::Outcome;
using Trigger = UpdateCheckResult::Trigger;

Q_DECLARE_METATYPE(vessa::UpdateCheckResult::Outcome)
Q_DECLARE_METATYPE(vessa::UpdateCheckResult::Trigger)

namespace {

// Receives the pages the desktop would open in the browser.
class BrowserStandIn : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

UpdateCheckResult updateAvailable(const QString& notes, const QUrl& page)
{
    UpdateCheckResult result;
    result.outcome = Outcome::updateAvailable;
    result.currentVersion = "1.1";
    result.newest = AppcastItem{QVersionNumber(1, 2), "1.2", "Vessa 1.2", notes, page};
    return result;
}

} // namespace

class UpdateResultDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    BrowserStandIn m_browser;

    static QStringList labelTexts(const QDialog& dialog)
    {
        QStringList texts;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (label->isVisibleTo(&dialog))
                texts << label->text();
        return texts;
    }
    static QPushButton& button(const QDialog& dialog, const char* name)
    {
        return *dialog.findChild<QPushButton*>(name);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QDesktopServices::setUrlHandler("https", &m_browser, "open");
        QDesktopServices::setUrlHandler("file", &m_browser, "open");
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("file");
    }
    void init() { m_browser.opened.clear(); }

    void presents_data()
    {
        QTest::addColumn<Trigger>("trigger");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("presents");
        QTest::newRow("asked, update") << Trigger::user << Outcome::updateAvailable << true;
        QTest::newRow("asked, up to date") << Trigger::user << Outcome::upToDate << true;
        QTest::newRow("asked, failed") << Trigger::user << Outcome::failed << true;
        QTest::newRow("automatic, update") << Trigger::automatic << Outcome::updateAvailable << true;
        QTest::newRow("automatic, up to date") << Trigger::automatic << Outcome::upToDate << false;
        QTest::newRow("automatic, failed") << Trigger::automatic << Outcome::failed << false;
    }
    void presents()
    {
        QFETCH(Trigger, trigger);
        QFETCH(Outcome, outcome);
        QFETCH(bool, presents);
        UpdateCheckResult result;
        result.trigger = trigger;
        result.outcome = outcome;
        QCOMPARE(UpdateResultDialog::presents(result), presents);
    }

    void offersTheDownloadPage()
    {
        QSettings settings(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        Updater updater(settings, "1.1");
        UpdateResultDialog dialog(updater);
        dialog.showResult(updateAvailable("<h3>New</h3><ul><li>Faster scans</li><li>A calmer equalizer</li></ul>",
                                          QUrl("https://example.org/vessa/1.2")));
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(test::savesAsPng(dialog.grab()));

        QCOMPARE(dialog.windowTitle(), "Software Update");
        QCOMPARE(labelTexts(dialog), QStringList({"A new version of Vessa is available!",
                                                  "Vessa 1.2 is now available. You have 1.1.", "Release Notes:"}));
        const auto* notes = dialog.findChild<QTextBrowser*>("releaseNotes");
        QVERIFY(notes->isVisible());
        QCOMPARE(notes->toPlainText(), "New\nFaster scans\nA calmer equalizer");
        QPushButton& download = button(dialog, "downloadButton");
        QVERIFY(download.isVisible());
        QVERIFY(download.isDefault());

        // With nothing on the system to open web pages, the user is told and the dialog stays.
        QStringList failures;
        connect(&dialog, &UpdateResultDialog::failed, this,
                [&failures](std::exception_ptr error) { failures << describeException(error); });
        QDesktopServices::unsetUrlHandler("https");
        QTest::mouseClick(&download, Qt::LeftButton);
        QCOMPARE(failures, QStringList{"Could not open https://example.org/vessa/1.2: no application on this system "
                                       "opens web pages."});
        QVERIFY(dialog.isVisible());

        QDesktopServices::setUrlHandler("https", &m_browser, "open");
        QTest::mouseClick(&download, Qt::LeftButton);
        QCOMPARE(m_browser.opened, QList<QUrl>{QUrl("https://example.org/vessa/1.2")});
        QVERIFY(!dialog.isVisible());
        QCOMPARE(failures.size(), 1);
    }

    void plainNotesAndNoPage()
    {
        QSettings settings(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        Updater updater(settings, "1.1");
        UpdateResultDialog dialog(updater);
        dialog.showResult(updateAvailable("a < b & c", QUrl()));
        QCOMPARE(dialog.findChild<QTextBrowser*>("releaseNotes")->toPlainText(), "a < b & c");
        QVERIFY(!button(dialog, "downloadButton").isVisible());
        QVERIFY(button(dialog, "closeButton").isDefault());
    }

    void upToDate()
    {
        QSettings settings(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        Updater updater(settings, "1.1");
        UpdateResultDialog dialog(updater);
        dialog.showResult(updateAvailable("notes", QUrl("https://example.org/")));
        UpdateCheckResult result;
        result.outcome = Outcome::upToDate;
        result.currentVersion = "1.1";
        dialog.showResult(result);
        QCOMPARE(labelTexts(dialog), QStringList({"You're up to date!", "Vessa 1.1 is the newest version available."}));
        QVERIFY(!dialog.findChild<QTextBrowser*>("releaseNotes")->isVisible());
        QVERIFY(!button(dialog, "downloadButton").isVisible());
        QVERIFY(dialog.downloadPage().isEmpty());
    }

    // The dialog follows the updater: an asked-for check that fails shows
    // its reason; an automatic one stays silent.
    void followsTheUpdater()
    {
        QSettings settings(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        settings.setValue(Updater::feedAddressKey, "file:///etc/passwd");
        Updater updater(settings, "1.1");
        UpdateResultDialog dialog(updater);
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.start();

        updater.setAutomaticallyChecksForUpdates(true); // never checked: due at once
        QVERIFY(finished.wait(5000));
        QVERIFY(!dialog.isVisible());

        updater.checkForUpdates();
        QVERIFY(finished.wait(5000));
        QVERIFY(dialog.isVisible());
        QCOMPARE(labelTexts(dialog),
                 QStringList({"Update Error",
                              "The update feed address \"file:///etc/passwd\" is not a web address (http or https)."}));
        QVERIFY(test::savesAsPng(dialog.grab()));
        QVERIFY(m_browser.opened.isEmpty());
    }
};

QTEST_MAIN(UpdateResultDialogTest)
#include "tst_updateresultdialog.moc"
