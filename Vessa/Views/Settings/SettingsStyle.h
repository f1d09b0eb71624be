#pragma once

class QLabel;

namespace vessa {

// The text styles of the Settings window's form.
namespace SettingsStyle {

// Caption font in the secondary colour (paths, counts, status texts).
void makeCaption(QLabel* label);
// Small caption font in the secondary colour, wrapping (section footers).
void makeFooter(QLabel* label);
// Bold section header.
void makeHeader(QLabel* label);

} // namespace SettingsStyle

} // namespace vessa
