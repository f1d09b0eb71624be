#pragma once

#include <QLineEdit>

namespace vessa {

// The name field of a sidebar row being named: Return commits (the line
// edit's returnPressed), Escape cancels.
class InlineNameField : public QLineEdit {
    Q_OBJECT
public:
    explicit InlineNameField(QWidget* parent = nullptr);

    // Where the user is in the field, apart from its text: what a field that
    // replaces this one (the sidebar rebuilds its rows) takes over.
    struct Editing {
        int cursor = 0;
        int selectionStart = -1;
        int selectionLength = 0;
        bool focused = false; // the window's focus, even while the window is inactive
    };
    Editing editing() const;
    void resume(const Editing& editing);

signals:
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace vessa
