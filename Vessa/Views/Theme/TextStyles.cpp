#include "Vessa/Views/Theme/TextStyles.h"

#include "Vessa/Views/Theme/VessaTheme.h"

#include <QWidget>

namespace vessa::TextStyles {

namespace {

QColor dimmed(const QPalette& palette, float opacity)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(opacity);
    return color;
}

void setWindowText(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

} // namespace

QColor secondaryText(const QPalette& palette)
{
    return VessaTheme::secondaryColor(palette.color(QPalette::WindowText));
}

QColor tertiaryText(const QPalette& palette)
{
    return dimmed(palette, tertiaryOpacity);
}

void makeSecondary(QWidget* widget)
{
    setWindowText(widget, secondaryText(widget->palette()));
}

void makeTertiary(QWidget* widget)
{
    setWindowText(widget, tertiaryText(widget->palette()));
}

QFont scaledFont(const QFont& base, qreal factor, QFont::Weight weight)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

} // namespace vessa::TextStyles
