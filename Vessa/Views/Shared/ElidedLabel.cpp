#include "Vessa/Views/Shared/ElidedLabel.h"

#include <QFontMetrics>

namespace vessa {

ElidedLabel::ElidedLabel(QString text, QWidget* parent) : QLabel(parent), m_fullText(std::move(text))
{
    setToolTip(m_fullText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    elide();
}

void ElidedLabel::setFullText(QString text)
{
    m_fullText = std::move(text);
    setToolTip(m_fullText);
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, std::max(0, contentsRect().width())));
}

} // namespace vessa
