#include "Vessa/Views/Theme/VessaTheme.h"

namespace vessa::VessaTheme {

ColorScheme colorScheme(const QPalette& palette)
{
    const qreal window = palette.color(QPalette::Window).lightnessF();
    const qreal text = palette.color(QPalette::WindowText).lightnessF();
    return window < text ? ColorScheme::Dark : ColorScheme::Light;
}

QColor accentColor(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor secondaryColor(QColor label)
{
    label.setAlphaF(label.alphaF() * 0.62f);
    return label;
}

QLinearGradient progressGradient(const QPalette& palette)
{
    QLinearGradient gradient(0, 0, 1, 0);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, accentColor(palette));
    gradient.setColorAt(1, progressGradientEndColor());
    return gradient;
}

} // namespace vessa::VessaTheme
