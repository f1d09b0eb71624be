#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QPalette>

namespace vessa {

// The program's own look: the light/dark decision, the accent colour and the
// gradient of the playback progress line. AdaptiveWindowBackground paints
// the window background from the same decision.
namespace VessaTheme {

enum class ColorScheme { Light, Dark };

// Qt 6.4 cannot ask the desktop for its colour scheme: a palette whose window
// colour is darker than its text colour is a dark one.
ColorScheme colorScheme(const QPalette& palette);

// The user's accent colour: the palette's highlight.
QColor accentColor(const QPalette& palette);

// The secondary foreground style: `label` (a text colour of the palette)
// at 62 % of its opacity.
QColor secondaryColor(QColor label);

// From the accent colour on the left to a fixed blue on the right, across
// whatever rectangle is filled with it.
QLinearGradient progressGradient(const QPalette& palette);
inline QColor progressGradientEndColor()
{
    return QColor::fromRgbF(0.4f, 0.5f, 0.95f);
}

} // namespace VessaTheme

} // namespace vessa
