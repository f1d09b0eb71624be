#include "Vessa/Views/Documents/PlaylistDocumentWindow.h"

#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Playlists/PlaylistDocumentFile.h"
#include "Vessa/Views/Documents/PlaylistDocumentView.h"
#include "VessaCore/ExceptionDescription.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace vessa {

namespace {

constexpr QSize defaultSize{720, 480};

} // namespace

PlaylistDocumentWindow::PlaylistDocumentWindow(PlaylistDocument document, std::optional<QString> filePath,
                                               DocumentPrompts prompts,
                                               const PlaylistDocumentView::ContentMaker& makeContent, QWidget* parent)
    : QMainWindow(parent),
      m_document(std::make_unique<PlaylistDocument>(std::move(document))),
      m_filePath(std::move(filePath)),
      m_prompts(std::move(prompts)),
      m_view(new PlaylistDocumentView(*m_document, m_filePath, makeContent, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setCentralWidget(m_view);
    resize(defaultSize);
    connect(m_view, &PlaylistDocumentView::documentEdited, this, [this] { setModified(true); });
    showTitle();
}

PlaylistDocumentWindow::~PlaylistDocumentWindow()
{
    // The view refers to the document: it goes first.
    delete m_view;
}

QString PlaylistDocumentWindow::displayName() const
{
    return m_filePath ? QFileInfo(*m_filePath).fileName() : m_document->playlist.name;
}

bool PlaylistDocumentWindow::save()
{
    if (m_filePath && PlaylistDocumentFile::isOwnFormat(*m_filePath))
        return writeTo(*m_filePath);
    return saveAs();
}

bool PlaylistDocumentWindow::saveAs()
{
    const std::optional<QString> chosen = m_prompts.chooseSaveLocation(this, proposedSavePath());
    if (!chosen || chosen->isEmpty())
        return false;
    const QString path = QFileInfo(PlaylistDocumentFile::ownFormatPath(*chosen)).absoluteFilePath();
    if (!writeTo(path))
        return false;
    m_filePath = path;
    // A document is named after its file.
    m_document->playlist.name = QFileInfo(path).completeBaseName();
    m_view->setFilePath(m_filePath);
    m_view->documentChanged();
    showTitle();
    emit filePathChanged();
    return true;
}

QString PlaylistDocumentWindow::proposedSavePath() const
{
    if (m_filePath) {
        return PlaylistDocumentFile::isOwnFormat(*m_filePath)
                   ? *m_filePath
                   : PlaylistDocumentFile::proposedOwnFormatPath(*m_filePath, m_document->playlist.name);
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return PlaylistDocumentFile::proposedOwnFormatPath(folder + QStringLiteral("/x"), m_document->playlist.name);
}

bool PlaylistDocumentWindow::writeTo(const QString& path)
{
    // Hints relative to the old file's folder are rewritten for the new one;
    // the document takes them once they are written.
    PlaylistDocument written = *m_document;
    written.playlist.rebaseFileHints(m_filePath, path);
    try {
        PlaylistDocumentFile::write(written, path);
    } catch (...) {
        const QString text = describeException(std::current_exception());
        logError(lcUi(), QStringLiteral("Failed to save playlist document: ") + text);
        showAlert(text);
        return false;
    }
    m_document->playlist.tracks = std::move(written.playlist.tracks);
    setModified(false);
    return true;
}

void PlaylistDocumentWindow::showTitle()
{
    setWindowTitle(displayName() + QStringLiteral("[*]"));
}

void PlaylistDocumentWindow::showAlert(const QString& text)
{
    if (!m_alert) {
        m_alert = new QMessageBox(QMessageBox::Warning, tr("Error"), QString(), QMessageBox::Ok, this);
        m_alert->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_alert->setText(tr("The document could not be saved."));
    m_alert->setInformativeText(text);
    m_alert->open();
}

void PlaylistDocumentWindow::closeEvent(QCloseEvent* event)
{
    if (isModified()) {
        switch (m_prompts.askToSaveChanges(this, displayName())) {
        case DocumentPrompts::CloseAnswer::save:
            if (!save()) {
                event->ignore();
                return;
            }
            break;
        case DocumentPrompts::CloseAnswer::discard: break;
        case DocumentPrompts::CloseAnswer::cancel: event->ignore(); return;
        }
    }
    event->accept();
}

QMessageBox* PlaylistDocumentWindow::alert() const
{
    return m_alert.data();
}

} // namespace vessa
