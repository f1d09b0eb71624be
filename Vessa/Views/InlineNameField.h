#pragma once

#include <QLineEdit>

namespace vessa {

// The name field of a sidebar row being named: Return commits (the line
// edit's returnPressed), Escape cancels.
class InlineNameField : public QLineEdit {
    Q_OBJECT
public:
    explicit InlineNameField(QWidget* parent = nullptr);

signals:
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace vessa
