#include "Vessa/Views/Equalizer/VerticalSlider.h"

#include "Vessa/Views/Theme/VessaTheme.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vessa {

namespace {

constexpr qreal trackWidth = 4;
constexpr qreal tickWidth = 12;

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& color)
{
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    painter.setBrush(color);
    painter.drawRoundedRect(rect, radius, radius);
}

} // namespace

VerticalSlider::VerticalSlider(float lower, float upper, QWidget* parent)
    : QWidget(parent), m_lower(lower), m_upper(upper)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void VerticalSlider::setValue(float value)
{
    // +0 and -0 are told apart: the owner's label shows the sign.
    if (value == m_value && std::signbit(value) == std::signbit(m_value))
        return;
    m_value = value;
    update();
}

float VerticalSlider::snapped(float raw)
{
    return std::round(raw * 2) * 0.5f;
}

float VerticalSlider::valueAt(double y, double height, float lower, float upper)
{
    double t = 1 - y / height;
    if (t > 1)
        t = 1;
    if (t <= 0)
        t = 0;
    const float raw = lower + (upper - lower) * static_cast<float>(t);
    return snapped(raw);
}

double VerticalSlider::trackLength() const
{
    return height() - 2 * overhang;
}

double VerticalSlider::thumbOffset() const
{
    const float fraction = (m_value - m_lower) / (m_upper - m_lower);
    const double h = trackLength();
    return h - h * fraction;
}

QSize VerticalSlider::sizeHint() const
{
    return {thumbDiameter + 8, trackHeight + 2 * overhang};
}

QSize VerticalSlider::minimumSizeHint() const
{
    return sizeHint();
}

void VerticalSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    const qreal h = trackLength();
    const qreal centerX = width() / 2.0;
    const qreal top = overhang;
    const qreal bottom = top + h;
    const qreal thumbY = top + thumbOffset();
    const QColor secondary = VessaTheme::secondaryColor(palette().color(QPalette::WindowText));
    const QColor accent = VessaTheme::accentColor(palette());

    fillCapsule(painter, QRectF(centerX - trackWidth / 2, top, trackWidth, h), withOpacity(secondary, 0.2));
    const qreal fill = std::max<qreal>(0, bottom - thumbY);
    if (fill > 0)
        fillCapsule(painter, QRectF(centerX - trackWidth / 2, bottom - fill, trackWidth, fill), accent);
    painter.setBrush(withOpacity(secondary, 0.4));
    painter.drawRect(QRectF(centerX - tickWidth / 2, bottom - h / 2 - 1, tickWidth, 1));

    // The thumb with a faint shadow one pixel around it.
    const qreal radius = thumbDiameter / 2.0;
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.33f * 0.5f));
    painter.drawEllipse(QPointF(centerX, thumbY), radius + 1, radius + 1);
    painter.setBrush(accent);
    painter.drawEllipse(QPointF(centerX, thumbY), radius, radius);
}

void VerticalSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    editAt(event->position().y() - overhang);
}

void VerticalSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    editAt(event->position().y() - overhang);
}

void VerticalSlider::editAt(double y)
{
    const double h = trackLength();
    if (h <= 0)
        return;
    emit valueEdited(valueAt(y, h, m_lower, m_upper));
}

} // namespace vessa
