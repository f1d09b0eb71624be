#pragma once

#include "Vessa/App/Updates/UpdateCheckResult.h"

#include <QDialog>
#include <QUrl>

#include <exception>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace vessa {

class Updater;

// The window side of the updater: shows the result of an update check in one
// non-modal "Software Update" dialog. A found update shows its version, its
// release notes and "Open Download Page", which opens the release's page in
// the browser; nothing is downloaded by the program. A check the user asked
// for also shows "up to date" and failures; the automatic check shows only a
// found update and otherwise stays silent (its failures are only logged).
// A page that nothing on the system opens is reported through failed(), and
// the dialog stays up.
class UpdateResultDialog : public QDialog {
    Q_OBJECT
public:
    // Follows `updater`'s results; the updater must outlive the dialog.
    explicit UpdateResultDialog(Updater& updater, QWidget* parent = nullptr);

    // Whether a result is worth interrupting the user for.
    static bool presents(const UpdateCheckResult& result);

    // Fills the dialog with `result` and brings it up (whatever the trigger).
    void showResult(const UpdateCheckResult& result);

    // The page "Open Download Page" opens; empty when none is known.
    const QUrl& downloadPage() const { return m_downloadPage; }

signals:
    // A DesktopOpenError.
    void failed(std::exception_ptr error);

private:
    void openDownloadPage();
    // Opens a web page in the browser; false (and failed()) when nothing opened it.
    bool openWebPage(const QUrl& url);

    QLabel* m_heading;
    QLabel* m_message;
    QLabel* m_notesTitle;
    QTextBrowser* m_notes;
    QPushButton* m_downloadButton;
    QPushButton* m_closeButton;
    QUrl m_downloadPage;
};

} // namespace vessa
