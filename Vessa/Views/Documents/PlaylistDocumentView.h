#pragma once

#include "Vessa/Views/TrackLists/PlaylistStorage.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace vessa {

class PlaylistContentView;
struct PlaylistDocument;

// The content of a playlist document window: the document's playlist as the
// playlist track table, made by the application over its one app state, so
// that playing from it uses the same queue as the main window. Without an
// app state it shows only "Application not initialized".
class PlaylistDocumentView : public QWidget {
    Q_OBJECT
public:
    // Makes the playlist view over a document's storage, as a child of
    // `parent`; empty while the application has no app state.
    using ContentMaker = std::function<PlaylistContentView*(PlaylistStorage storage, QWidget* parent)>;

    // `document` must outlive the view. `filePath` is absent while the
    // document was never saved.
    PlaylistDocumentView(PlaylistDocument& document, std::optional<QString> filePath, const ContentMaker& makeContent,
                         QWidget* parent = nullptr);
    ~PlaylistDocumentView() override;

    // The document was saved under another file.
    void setFilePath(std::optional<QString> filePath);
    const std::optional<QString>& filePath() const { return m_filePath; }
    // The document was changed by its owner (renamed by Save As): show it again.
    void documentChanged();
    // The playlist view; null without an app state.
    PlaylistContentView* content() const { return m_content; }

signals:
    // The user edited the document's playlist through the view.
    void documentEdited();

private:
    PlaylistDocument& m_document;
    std::optional<QString> m_filePath;
    PlaylistContentView* m_content = nullptr;
};

} // namespace vessa
