#include "Vessa/Views/TrackTable/TrackTableStyle.h"

#include "Vessa/Views/Theme/VessaTheme.h"

#include <QFontDatabase>
#include <QFontMetricsF>

namespace vessa {

namespace {

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

} // namespace

TrackTableStyle::TrackTableStyle(const QPalette& palette, const QFont& font)
    : m_label(palette.color(QPalette::Active, QPalette::Text)),
      m_secondary(VessaTheme::secondaryColor(m_label)),
      m_tertiary(withOpacity(m_label, 0.32)),
      m_regular(font),
      m_semibold(font),
      m_digits(monospacedDigitFont(font))
{
    m_semibold.setWeight(QFont::DemiBold);
}

TrackTableStyle::Cell TrackTableStyle::cell(TrackTableColumn::Kind column, const TrackRow& row) const
{
    using K = TrackTableColumn::Kind;
    const QColor& secondary = row.isResolvable ? m_secondary : m_tertiary;
    switch (column) {
    case K::Title: return {row.isResolvable ? m_label : m_tertiary, row.isPlaying ? m_semibold : m_regular};
    case K::TrackNumber:
    case K::Time: return {secondary, m_digits};
    case K::Playing:
    case K::Artist:
    case K::Album: break;
    }
    return {secondary, m_regular};
}

QFont TrackTableStyle::monospacedDigitFont(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(u'0');
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QChar(digit)), zero)) {
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            if (font.pointSizeF() > 0)
                fixed.setPointSizeF(font.pointSizeF());
            else
                fixed.setPixelSize(font.pixelSize());
            return fixed;
        }
    }
    return font;
}

} // namespace vessa
