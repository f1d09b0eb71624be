#include "Vessa/Views/Settings/SettingsStyle.h"

#include "Vessa/Views/Theme/VessaTheme.h"

#include <QLabel>

namespace vessa::SettingsStyle {

namespace {

void scaleFont(QLabel* label, qreal factor)
{
    QFont font = label->font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    label->setFont(font);
}

void useSecondaryColor(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, VessaTheme::secondaryColor(palette.color(QPalette::WindowText)));
    label->setPalette(palette);
}

} // namespace

void makeCaption(QLabel* label)
{
    scaleFont(label, 10.0 / 13.0);
    useSecondaryColor(label);
}

void makeFooter(QLabel* label)
{
    makeCaption(label);
    label->setWordWrap(true);
}

void makeHeader(QLabel* label)
{
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
}

} // namespace vessa::SettingsStyle
