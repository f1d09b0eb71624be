#pragma once

#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/Views/Documents/DocumentPrompts.h"
#include "Vessa/Views/Documents/PlaylistDocumentView.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>

class QMessageBox;

namespace vessa {

// The window of one playlist document, titled "<file>[*]" ("Untitled" while
// never saved). Edits mark it modified; Save writes the own format to its
// file, except for a document read from an M3U file, whose Save is a Save As
// proposing "<name>.parvik" beside it, so the M3U file is never overwritten.
// Closing it with unsaved changes asks to save, discard or cancel.
class PlaylistDocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    PlaylistDocumentWindow(PlaylistDocument document, std::optional<QString> filePath, DocumentPrompts prompts,
                           const PlaylistDocumentView::ContentMaker& makeContent, QWidget* parent = nullptr);
    ~PlaylistDocumentWindow() override;

    PlaylistDocument& document() const { return *m_document; }
    const std::optional<QString>& filePath() const { return m_filePath; }
    PlaylistDocumentView& view() const { return *m_view; }
    // The file's name, or the playlist's name while never saved.
    QString displayName() const;

    bool isModified() const { return isWindowModified(); }
    void setModified(bool modified) { setWindowModified(modified); }

    // Both return true when the document was written; false when the user
    // cancelled or writing failed (the window then shows why).
    bool save();
    bool saveAs();

    // The alert showing the last failure; null when none is shown.
    QMessageBox* alert() const;

signals:
    void filePathChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString proposedSavePath() const;
    bool writeTo(const QString& path);
    void showTitle();
    void showAlert(const QString& text);

    std::unique_ptr<PlaylistDocument> m_document;
    std::optional<QString> m_filePath;
    DocumentPrompts m_prompts;
    PlaylistDocumentView* m_view;
    QPointer<QMessageBox> m_alert;
};

} // namespace vessa
