#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QMessageBox;
class QWidget;

namespace vessa {

// One non-modal message box per window with a fixed title and an "OK"
// button. Showing a message while the box is up replaces its text, so a
// window never stacks boxes. Any dismissal ("OK", Escape, closing the box)
// emits dismissed() once.
class ErrorAlert : public QObject {
    Q_OBJECT
public:
    ErrorAlert(QWidget* window, QString title);
    ~ErrorAlert() override;

    void show(const QString& message);
    // Closes the box without a dismissal.
    void close();
    bool isShown() const;
    // The box while it is up, else null.
    QMessageBox* box() const;

signals:
    void dismissed();

private:
    QWidget* m_window;
    QString m_title;
    QPointer<QMessageBox> m_box;
    bool m_closing = false;
};

} // namespace vessa
