#include "Vessa/Views/NowPlaying/ProgressLine.h"

#include "Vessa/Views/Theme/VessaTheme.h"

#include <QPainter>

#include <algorithm>

namespace vessa {

ProgressLine::ProgressLine(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(height);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProgressLine::setFraction(double fraction)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction == m_fraction)
        return;
    m_fraction = fraction;
    update();
}

void ProgressLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor track = palette().color(QPalette::WindowText);
    track.setAlphaF(0.1f);
    painter.fillRect(rect(), track);
    const int filled = static_cast<int>(width() * m_fraction);
    if (filled <= 0)
        return;
    // The gradient spans the fill: accent at the start, blue at the played end.
    painter.fillRect(QRect(0, 0, filled, height), VessaTheme::progressGradient(palette()));
}

} // namespace vessa
