#include "Vessa/Views/Documents/DocumentController.h"

#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Playlists/PlaylistDocumentFile.h"
#include "Vessa/Views/Documents/PlaylistDocumentWindow.h"
#include "Vessa/Views/Shared/UntitledName.h"
#include "VessaCore/ExceptionDescription.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>

namespace vessa {

namespace {

// Two paths name the same file (links followed when the file exists).
QString identityOf(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

DocumentController::DocumentController(DocumentPrompts prompts, PlaylistDocumentView::ContentMaker makeContent,
                                       QObject* parent)
    : QObject(parent), m_prompts(std::move(prompts)), m_makeContent(std::move(makeContent))
{
}

DocumentController::~DocumentController()
{
    for (const QPointer<PlaylistDocumentWindow>& window : std::as_const(m_windows))
        delete window.data();
    delete m_alert.data();
}

PlaylistDocumentWindow* DocumentController::newDocument()
{
    // Named apart from the other documents never saved, whose windows and
    // proposed file names would read alike.
    PlaylistDocument document;
    document.playlist.name = firstFreeUntitledName([this](const QString& name) {
        const QList<PlaylistDocumentWindow*> open = windows();
        return std::any_of(open.cbegin(), open.cend(), [&](const PlaylistDocumentWindow* window) {
            return !window->filePath() && window->document().playlist.name == name;
        });
    });
    return present(new PlaylistDocumentWindow(std::move(document), std::nullopt, m_prompts, m_makeContent));
}

void DocumentController::openWithDialog(QWidget* parent)
{
    const QStringList paths = m_prompts.chooseFilesToOpen(parent);
    if (!paths.isEmpty())
        openFiles(paths);
}

QList<PlaylistDocumentWindow*> DocumentController::openFiles(const QStringList& paths)
{
    QList<PlaylistDocumentWindow*> opened;
    for (const QString& given : paths) {
        const QString path = QFileInfo(given).absoluteFilePath();
        if (PlaylistDocumentWindow* window = windowForFile(path)) {
            window->show();
            window->raise();
            window->activateWindow();
            opened.append(window);
            continue;
        }
        try {
            PlaylistDocument document = PlaylistDocumentFile::read(path);
            opened.append(present(new PlaylistDocumentWindow(std::move(document), path, m_prompts, m_makeContent)));
        } catch (...) {
            showOpenFailure(path, describeException(std::current_exception()));
        }
    }
    return opened;
}

QList<PlaylistDocumentWindow*> DocumentController::windows() const
{
    QList<PlaylistDocumentWindow*> windows;
    for (const QPointer<PlaylistDocumentWindow>& window : m_windows) {
        if (window)
            windows.append(window);
    }
    return windows;
}

PlaylistDocumentWindow* DocumentController::activeDocumentWindow()
{
    return qobject_cast<PlaylistDocumentWindow*>(QApplication::activeWindow());
}

bool DocumentController::closeAll()
{
    for (PlaylistDocumentWindow* window : windows()) {
        if (!window->close())
            return false;
    }
    return true;
}

PlaylistDocumentWindow* DocumentController::windowForFile(const QString& path) const
{
    const QString identity = identityOf(path);
    for (PlaylistDocumentWindow* window : windows()) {
        if (window->filePath() && identityOf(*window->filePath()) == identity)
            return window;
    }
    return nullptr;
}

PlaylistDocumentWindow* DocumentController::present(PlaylistDocumentWindow* window)
{
    m_windows.removeAll(nullptr);
    m_windows.append(window);
    emit windowOpened(window);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void DocumentController::showOpenFailure(const QString& path, const QString& reason)
{
    logError(lcUi(), QStringLiteral("Failed to open playlist document ") + path + QStringLiteral(": ") + reason);
    if (!m_alert) {
        m_alert = new QMessageBox(QMessageBox::Warning, tr("Error"), QString(), QMessageBox::Ok);
        m_alert->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_alert->setText(tr("The document \u201C%1\u201D could not be opened.").arg(QFileInfo(path).fileName()));
    m_alert->setInformativeText(reason);
    m_alert->open();
}

QMessageBox* DocumentController::alert() const
{
    return m_alert.data();
}

} // namespace vessa
