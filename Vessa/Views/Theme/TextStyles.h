#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace vessa {

// The text levels of the windows' labels: the palette's text colour at full
// strength (primary), dimmed (secondary: counts, subtitles) and faint
// (tertiary: hints), and fonts scaled from the widget's own.
namespace TextStyles {

inline constexpr float tertiaryOpacity = 0.42f;

// The theme's secondary colour of the palette's window text.
QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);
// Sets the widget's window text to its secondary or tertiary colour.
void makeSecondary(QWidget* widget);
void makeTertiary(QWidget* widget);
QFont scaledFont(const QFont& base, qreal factor, QFont::Weight weight = QFont::Normal);

} // namespace TextStyles

} // namespace vessa
