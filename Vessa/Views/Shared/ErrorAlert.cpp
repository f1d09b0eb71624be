#include "Vessa/Views/Shared/ErrorAlert.h"

#include <QMessageBox>

namespace vessa {

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
        connect(m_box, &QMessageBox::finished, this, [this] {
            if (!m_closing)
                emit dismissed();
        });
    }
    m_box->setText(message);
    if (!m_box->isVisible())
        m_box->open();
}

void ErrorAlert::close()
{
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
