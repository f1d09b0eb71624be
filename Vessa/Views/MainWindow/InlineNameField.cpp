#include "Vessa/Views/MainWindow/InlineNameField.h"

#include <QKeyEvent>

namespace vessa {

InlineNameField::InlineNameField(QWidget* parent) : QLineEdit(parent)
{
    setPlaceholderText(tr("Playlist name"));
    setObjectName(QStringLiteral("playlistNameField"));
}

InlineNameField::Editing InlineNameField::editing() const
{
    return Editing{cursorPosition(), selectionStart(), selectionLength(), window()->focusWidget() == this};
}

void InlineNameField::resume(const Editing& editing)
{
    if (editing.focused)
        setFocus();
    if (editing.selectionLength <= 0)
        setCursorPosition(editing.cursor);
    else if (editing.cursor == editing.selectionStart) // selected leftwards
        setSelection(editing.selectionStart + editing.selectionLength, -editing.selectionLength);
    else
        setSelection(editing.selectionStart, editing.selectionLength);
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
