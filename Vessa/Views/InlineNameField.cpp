#include "Vessa/Views/InlineNameField.h"

#include <QKeyEvent>

namespace vessa {

InlineNameField::InlineNameField(QWidget* parent) : QLineEdit(parent)
{
    setPlaceholderText(QStringLiteral("Playlist name"));
    setObjectName(QStringLiteral("playlistNameField"));
}

void InlineNameField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        emit cancelled();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace vessa
