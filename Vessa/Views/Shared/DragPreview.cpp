#include "Vessa/Views/Shared/DragPreview.h"

#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/Theme/TextStyles.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace vessa {

namespace {

constexpr int horizontalPadding = 10;
constexpr int verticalPadding = 6;
constexpr int iconSize = 16;
constexpr int iconSpacing = 6;
constexpr int lineSpacing = 1;
constexpr qreal cornerRadius = 8;

QFont captionFont(const QFont& font)
{
    QFont caption = font;
    if (font.pointSizeF() > 0)
        caption.setPointSizeF(font.pointSizeF() * 0.85);
    else
        caption.setPixelSize(std::max(1, qRound(font.pixelSize() * 0.85)));
    return caption;
}

} // namespace

DragPreview::DragPreview(QString title, QString artist) : m_title(std::move(title)), m_artist(std::move(artist))
{
}

QPixmap DragPreview::render(const QPalette& palette, const QFont& font, qreal devicePixelRatio) const
{
    QFont titleFont = font;
    titleFont.setWeight(QFont::Medium);
    const QFont artistFont = captionFont(font);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics artistMetrics(artistFont);
    const bool hasArtist = !m_artist.isEmpty();

    const QString title = titleMetrics.elidedText(m_title, Qt::ElideRight, maximumTextWidth);
    const QString artist = hasArtist ? artistMetrics.elidedText(m_artist, Qt::ElideRight, maximumTextWidth) : QString();
    const int textWidth =
        std::max(titleMetrics.horizontalAdvance(title), hasArtist ? artistMetrics.horizontalAdvance(artist) : 0);
    const int textHeight = titleMetrics.height() + (hasArtist ? lineSpacing + artistMetrics.height() : 0);
    const QSize size(horizontalPadding + iconSize + iconSpacing + textWidth + horizontalPadding,
                     verticalPadding + std::max(iconSize, textHeight) + verticalPadding);

    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath panel;
    panel.addRoundedRect(QRectF(QPointF(0, 0), size), cornerRadius, cornerRadius);
    QColor background = palette.color(QPalette::Window);
    background.setAlphaF(0.92f);
    painter.fillPath(panel, background);

    const QColor secondary = TextStyles::secondaryText(palette);
    const int contentTop = verticalPadding;
    const int contentHeight = size.height() - 2 * verticalPadding;
    painter.drawPixmap(
        horizontalPadding, contentTop + (contentHeight - iconSize) / 2,
        Icons::tinted(QStringLiteral("music.note"), QSize(iconSize, iconSize), devicePixelRatio, secondary));

    const int textLeft = horizontalPadding + iconSize + iconSpacing;
    int y = contentTop + (contentHeight - textHeight) / 2;
    painter.setFont(titleFont);
    painter.setPen(palette.color(QPalette::WindowText));
    painter.drawText(QRect(textLeft, y, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter, title);
    if (hasArtist) {
        y += titleMetrics.height() + lineSpacing;
        painter.setFont(artistFont);
        painter.setPen(secondary);
        painter.drawText(QRect(textLeft, y, textWidth, artistMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         artist);
    }
    return pixmap;
}

} // namespace vessa
