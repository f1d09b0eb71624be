#include "Vessa/Views/Shared/ErrorAlert.h"

#include <QAbstractButton>
#include <QEvent>
#include <QMessageBox>
#include <QWindow>

#include <utility>

namespace vessa {

namespace {

// Shown, not minimised, and mapped by the window system.
bool isOnScreen(const QWidget& window)
{
    const QWindow* handle = window.windowHandle();
    return window.isVisible() && !window.isMinimized() && handle && handle->isExposed();
}

} // namespace

ErrorAlert::ErrorAlert(QWidget* window, QString title) : QObject(window), m_window(window), m_title(std::move(title))
{
}

ErrorAlert::~ErrorAlert() = default;

void ErrorAlert::show(const QString& message)
{
    if (!m_box) {
        // Made once and kept: the window's one box.
        m_box = new QMessageBox(QMessageBox::Warning, m_title, QString(), QMessageBox::Ok, m_window);
        m_box->setObjectName(QStringLiteral("ErrorAlert"));
        // Only a button of the box (Return and Escape press "OK") says that
        // the user has read it; closing it otherwise emits finished() alone.
        connect(m_box, &QMessageBox::buttonClicked, this, [this] { m_acknowledged = true; });
        connect(m_box, &QMessageBox::finished, this, [this] {
            const bool acknowledged = std::exchange(m_acknowledged, false);
            if (!m_closing)
                emit dismissed(acknowledged ? Dismissal::acknowledged : Dismissal::closed);
        });
    }
    m_box->setText(message);
    if (!m_box->isVisible())
        m_waiting = true;
    present();
}

void ErrorAlert::present()
{
    watchWindow();
    if (!m_box)
        return;
    if (!m_box->isVisible()) {
        if (!m_waiting || !isOnScreen(*m_window->window()))
            return;
        m_waiting = false;
        m_acknowledged = false;
        m_box->open();
    }
    bringToFront();
}

void ErrorAlert::bringToFront()
{
    m_box->raise();
    m_box->activateWindow();
}

void ErrorAlert::watchWindow()
{
    // The top level is looked up each time: the widget may have been put
    // into a window after this was made.
    QWidget* window = m_window->window();
    if (window != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window;
        window->installEventFilter(this);
    }
    QWindow* handle = window->windowHandle();
    if (handle == m_watchedHandle)
        return;
    if (m_watchedHandle)
        m_watchedHandle->removeEventFilter(this);
    m_watchedHandle = handle;
    m_windowExposed = handle && handle->isExposed();
    if (handle)
        handle->installEventFilter(this);
}

bool ErrorAlert::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
        // The window now has its platform window, which tells when it is mapped.
        if (watched == m_watchedWindow)
            watchWindow();
        break;
    case QEvent::Expose:
        // Mapped (again): after its own expose has been handled, the waiting
        // message opens, or the box comes above the window. Exposes of a
        // window that stays mapped (uncovered parts) change nothing.
        if (watched == m_watchedHandle) {
            const bool cameBack = m_watchedHandle->isExposed() && !m_windowExposed;
            m_windowExposed = m_watchedHandle->isExposed();
            if (cameBack && (m_waiting || isShown()))
                QMetaObject::invokeMethod(this, &ErrorAlert::present, Qt::QueuedConnection);
        }
        break;
    case QEvent::WindowStateChange:
        // No longer minimised after it was mapped: a waiting message opens.
        if (watched == m_watchedWindow && m_waiting)
            QMetaObject::invokeMethod(this, &ErrorAlert::present, Qt::QueuedConnection);
        break;
    case QEvent::WindowActivate:
        // The window the box blocks was brought forward: the box goes with it.
        if (watched == m_watchedWindow && isShown())
            bringToFront();
        break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

void ErrorAlert::close()
{
    m_waiting = false;
    if (!isShown())
        return;
    m_closing = true;
    m_box->close();
    m_closing = false;
}

bool ErrorAlert::isShown() const
{
    return m_box && m_box->isVisible();
}

QMessageBox* ErrorAlert::box() const
{
    return isShown() ? m_box.data() : nullptr;
}

} // namespace vessa
