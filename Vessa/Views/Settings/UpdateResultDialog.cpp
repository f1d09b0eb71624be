#include "Vessa/Views/Settings/UpdateResultDialog.h"

#include "Vessa/App/Updates/Updater.h"
#include "Vessa/Views/Shared/DesktopOpenError.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace vessa {

namespace {

using Outcome = UpdateCheckResult::Outcome;

bool isWebPage(const QUrl& url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

// Release notes come from the network: they are shown as they are but load
// nothing, neither images nor style sheets, from anywhere.
class ReleaseNotesBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

UpdateResultDialog::UpdateResultDialog(Updater& updater, QWidget* parent)
    : QDialog(parent),
      m_heading(new QLabel(this)),
      m_message(new QLabel(this)),
      m_notesTitle(new QLabel(tr("Release Notes:"), this)),
      m_notes(new ReleaseNotesBrowser(this)),
      m_downloadButton(new QPushButton(tr("Open Download Page"), this)),
      m_closeButton(new QPushButton(tr("Close"), this))
{
    setWindowTitle(tr("Software Update"));
    setModal(false);

    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.15);
    m_heading->setFont(headingFont);
    m_message->setWordWrap(true);
    m_message->setMinimumWidth(360);
    m_message->setTextFormat(Qt::PlainText);
    m_notes->setObjectName(QStringLiteral("releaseNotes"));
    m_notes->setOpenLinks(false);
    m_notes->setMinimumSize(420, 200);
    connect(m_notes, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (isWebPage(url))
            openWebPage(url);
    });

    m_downloadButton->setObjectName(QStringLiteral("downloadButton"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_downloadButton, QDialogButtonBox::AcceptRole);
    buttons->addButton(m_closeButton, QDialogButtonBox::RejectRole);
    connect(m_downloadButton, &QPushButton::clicked, this, &UpdateResultDialog::openDownloadPage);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(m_message);
    layout->addWidget(m_notesTitle);
    layout->addWidget(m_notes, 1);
    layout->addWidget(buttons);

    connect(&updater, &Updater::checkFinished, this, [this](const UpdateCheckResult& result) {
        if (presents(result))
            showResult(result);
    });
}

bool UpdateResultDialog::presents(const UpdateCheckResult& result)
{
    return result.trigger == UpdateCheckResult::Trigger::user || result.outcome == Outcome::updateAvailable;
}

void UpdateResultDialog::showResult(const UpdateCheckResult& result)
{
    QString notes;
    m_downloadPage = QUrl();
    switch (result.outcome) {
    case Outcome::updateAvailable:
        m_heading->setText(tr("A new version of Vessa is available!"));
        m_message->setText(
            tr("Vessa %1 is now available. You have %2.").arg(result.newest->displayVersion, result.currentVersion));
        notes = result.newest->notes;
        m_downloadPage = result.newest->downloadPage;
        break;
    case Outcome::upToDate:
        m_heading->setText(tr("You're up to date!"));
        m_message->setText(tr("Vessa %1 is the newest version available.").arg(result.currentVersion));
        break;
    case Outcome::failed:
        m_heading->setText(tr("Update Error"));
        m_message->setText(result.error ? result.error->description() : QString());
        break;
    }

    if (Qt::mightBeRichText(notes))
        m_notes->setHtml(notes);
    else
        m_notes->setPlainText(notes);
    m_notesTitle->setVisible(!notes.isEmpty());
    m_notes->setVisible(!notes.isEmpty());
    const bool offersDownload = isWebPage(m_downloadPage);
    m_downloadButton->setVisible(offersDownload);
    m_downloadButton->setDefault(offersDownload);
    m_closeButton->setDefault(!offersDownload);
    adjustSize();
    show();
    raise();
    activateWindow();
}

void UpdateResultDialog::openDownloadPage()
{
    if (!isWebPage(m_downloadPage) || openWebPage(m_downloadPage))
        accept();
}

bool UpdateResultDialog::openWebPage(const QUrl& url)
{
    if (QDesktopServices::openUrl(url))
        return true;
    emit failed(std::make_exception_ptr(DesktopOpenError::webPage(url.toString())));
    return false;
}

} // namespace vessa
