#include "Vessa/Views/TrackLists/DebouncedFilterField.h"

#include <QCoreApplication>
#include <QTimer>

namespace vessa {

DebouncedFilterField::DebouncedFilterField(QWidget* parent) : QLineEdit(parent), m_timer(new QTimer(this))
{
    setPlaceholderText(QCoreApplication::translate("TrackLists", "Filter tracks"));
    setClearButtonEnabled(true);
    m_timer->setSingleShot(true);
    m_timer->setInterval(debounceMilliseconds);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!m_settingNow)
            m_timer->start();
    });
    connect(m_timer, &QTimer::timeout, this, [this] { emit settled(text()); });
}

void DebouncedFilterField::setTextNow(const QString& text)
{
    m_timer->stop();
    m_settingNow = true;
    setText(text);
    m_settingNow = false;
}

} // namespace vessa
