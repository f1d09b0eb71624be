#include "Vessa/Views/Documents/PlaylistDocumentView.h"

#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "Vessa/Views/Theme/VessaTheme.h"
#include "Vessa/Views/TrackLists/PlaylistContentView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vessa {

PlaylistDocumentView::PlaylistDocumentView(PlaylistDocument& document, std::optional<QString> filePath,
                                           const ContentMaker& makeContent, QWidget* parent)
    : QWidget(parent), m_document(document), m_filePath(std::move(filePath))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!makeContent) {
        auto* label = new QLabel(tr("Application not initialized"), this);
        label->setObjectName(QStringLiteral("notInitializedLabel"));
        label->setAlignment(Qt::AlignCenter);
        label->setMargin(16);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, VessaTheme::secondaryColor(palette.color(QPalette::WindowText)));
        label->setPalette(palette);
        layout->addWidget(label);
        return;
    }
    m_content = makeContent(PlaylistStorage::document(&m_document, m_filePath), this);
    connect(m_content, &PlaylistContentView::documentEdited, this, &PlaylistDocumentView::documentEdited);
    layout->addWidget(m_content);
}

PlaylistDocumentView::~PlaylistDocumentView() = default;

void PlaylistDocumentView::setFilePath(std::optional<QString> filePath)
{
    m_filePath = std::move(filePath);
    if (m_content)
        m_content->setStorage(PlaylistStorage::document(&m_document, m_filePath));
}

void PlaylistDocumentView::documentChanged()
{
    if (m_content)
        m_content->documentChanged();
}

} // namespace vessa
