#include "Vessa/Views/Shared/BusyIndicator.h"

#include <QPainter>

#include <algorithm>

namespace vessa {

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent)
{
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % spokeCount;
        update();
    });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize BusyIndicator::sizeHint() const
{
    return {16, 16};
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    painter.scale(side / 16.0, side / 16.0);
    QColor color = palette().color(QPalette::WindowText);
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap);
    for (int spoke = 0; spoke < spokeCount; ++spoke) {
        // The spoke at the current step is the darkest; the others fade behind it.
        const int age = (m_step - spoke + spokeCount) % spokeCount;
        color.setAlphaF(1.0f - 0.8f * float(age) / float(spokeCount - 1));
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * spoke / spokeCount);
        painter.drawLine(QPointF(0, -3.5), QPointF(0, -7));
        painter.restore();
    }
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    m_timer.start();
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

} // namespace vessa
