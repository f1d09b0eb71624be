#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace vessa {

// The one place that turns a symbol identifier ("play.fill",
// "speaker.wave.2.fill", ...) into an icon. Each symbol maps onto freedesktop
// theme icon names, looked up in the desktop's theme with Adwaita as the
// fallback theme; a symbol no installed theme has is drawn as a simple glyph,
// so an icon is never blank.
namespace Icons {

QIcon icon(const QString& symbol);

// The icon recoloured in one colour (the accent for the playing mark, the
// secondary text colour for the cloud mark), at `size` device-independent
// pixels and the given device pixel ratio.
QPixmap tinted(const QString& symbol, QSize size, qreal devicePixelRatio, const QColor& color);

// The theme names tried for `symbol`, in order; empty for an unknown symbol.
QStringList themeNames(const QString& symbol);

// A drawn stand-in for `symbol`, used when no theme has it.
QIcon drawnGlyph(const QString& symbol);

} // namespace Icons

} // namespace vessa
