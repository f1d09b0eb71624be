#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QMessageBox;
class QWidget;
class QWindow;

namespace vessa {

// One message box per window, modal for that window, with a fixed title and
// an "OK" button. Showing a message while the box is up replaces its text, so
// a window never stacks boxes.
//
// The box goes on the screen only once its window is there (shown and
// mapped): a box mapped before its window is not kept above it by the window
// manager, and would hide under the very window it blocks. Every message
// raises the box above its window and activates it, and so does the window
// coming back on the screen or being activated while the box is up. A
// message for a window that is not on the screen waits for it.
//
// dismissed() tells how the box went: the user's "OK" (clicked, Return or
// Escape) acknowledges the message; any other close (its title bar, the
// program closing its windows at quit) only closes it. close() tells nothing.
class ErrorAlert : public QObject {
    Q_OBJECT
public:
    enum class Dismissal { acknowledged, closed };

    ErrorAlert(QWidget* window, QString title);
    ~ErrorAlert() override;

    void show(const QString& message);
    // Closes the box, or forgets the message still waiting, without a dismissal.
    void close();
    bool isShown() const;
    // True while a message waits for the window to be on the screen.
    bool isWaiting() const { return m_waiting; }
    // The box while it is up, else null.
    QMessageBox* box() const;

signals:
    void dismissed(vessa::ErrorAlert::Dismissal how);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Opens the waiting message when the window is on the screen, and puts
    // the box above the window.
    void present();
    void bringToFront();
    // Watches the top-level window, and its platform window once it has one.
    void watchWindow();

    QWidget* m_window;
    QString m_title;
    QPointer<QMessageBox> m_box;
    QPointer<QWidget> m_watchedWindow;
    QPointer<QWindow> m_watchedHandle;
    bool m_windowExposed = false;
    bool m_waiting = false;
    bool m_closing = false;
    bool m_acknowledged = false;
};

} // namespace vessa
