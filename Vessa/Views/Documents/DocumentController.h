#pragma once

#include "Vessa/Views/Documents/DocumentPrompts.h"
#include "Vessa/Views/Documents/PlaylistDocumentView.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QMessageBox;
class QWidget;

namespace vessa {

class PlaylistDocumentWindow;

// Opens playlist documents in windows of their own: new ones, files chosen
// in the open dialog, and files named on the command line or handed over by
// the file manager. A file that is already open brings its window to the
// front instead of opening twice; one that cannot be read is reported in an
// alert and opens nothing. Each window's playlist view is made by
// `makeContent`, which the application gives over its app state.
//
// Threads: main thread only.
class DocumentController : public QObject {
    Q_OBJECT
public:
    explicit DocumentController(DocumentPrompts prompts = DocumentPrompts::standard(),
                                PlaylistDocumentView::ContentMaker makeContent = {}, QObject* parent = nullptr);
    ~DocumentController() override;

    // A new, never saved document: an empty playlist named "Untitled", or
    // "Untitled 2", ... when another document never saved has that name.
    PlaylistDocumentWindow* newDocument();
    // Asks for files and opens them; `parent` is the window asking.
    void openWithDialog(QWidget* parent);
    // Opens each file (or brings its window to the front); the windows opened
    // or found, in order.
    QList<PlaylistDocumentWindow*> openFiles(const QStringList& paths);

    // The open document windows, in the order they opened.
    QList<PlaylistDocumentWindow*> windows() const;
    // The document window that is active, if any.
    static PlaylistDocumentWindow* activeDocumentWindow();

    // Closes every document window, each asking about its unsaved changes.
    // False when the user kept one open.
    bool closeAll();

    // The alert naming the last file that could not be opened; null when none is shown.
    QMessageBox* alert() const;

signals:
    // A document window was made (before it is shown).
    void windowOpened(vessa::PlaylistDocumentWindow* window);

private:
    PlaylistDocumentWindow* windowForFile(const QString& path) const;
    PlaylistDocumentWindow* present(PlaylistDocumentWindow* window);
    void showOpenFailure(const QString& path, const QString& reason);

    DocumentPrompts m_prompts;
    PlaylistDocumentView::ContentMaker m_makeContent;
    QList<QPointer<PlaylistDocumentWindow>> m_windows;
    QPointer<QMessageBox> m_alert;
};

} // namespace vessa
