#include "Vessa/Views/Theme/AdaptiveWindowBackground.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace vessa {

namespace {

// Odd, so that the middle grid row and column fall on whole pixels.
constexpr int meshImageSize = 129;

QColor rgb(float red, float green, float blue)
{
    return QColor::fromRgbF(red, green, blue);
}

// Eases in and out of every grid point, so the blend has no visible creases.
float smooth(float t)
{
    return t * t * (3.0f - 2.0f * t);
}

QImage renderMesh(const std::array<QColor, 9>& colors)
{
    QImage image(meshImageSize, meshImageSize, QImage::Format_RGB32);
    const int last = meshImageSize - 1;
    const int half = last / 2;
    for (int y = 0; y < meshImageSize; ++y) {
        const int cellY = std::min(y / half, 1);
        const float ty = smooth(float(y - cellY * half) / float(half));
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < meshImageSize; ++x) {
            const int cellX = std::min(x / half, 1);
            const float tx = smooth(float(x - cellX * half) / float(half));
            const QColor& c00 = colors[size_t(cellY * 3 + cellX)];
            const QColor& c10 = colors[size_t(cellY * 3 + cellX + 1)];
            const QColor& c01 = colors[size_t((cellY + 1) * 3 + cellX)];
            const QColor& c11 = colors[size_t((cellY + 1) * 3 + cellX + 1)];
            auto blend = [&](float a, float b, float c, float d) {
                const float top = a + (b - a) * tx;
                const float bottom = c + (d - c) * tx;
                return std::clamp(top + (bottom - top) * ty, 0.0f, 1.0f);
            };
            const float red = blend(c00.redF(), c10.redF(), c01.redF(), c11.redF());
            const float green = blend(c00.greenF(), c10.greenF(), c01.greenF(), c11.greenF());
            const float blue = blend(c00.blueF(), c10.blueF(), c01.blueF(), c11.blueF());
            line[x] = qRgb(qRound(red * 255.0f), qRound(green * 255.0f), qRound(blue * 255.0f));
        }
    }
    return image;
}

} // namespace

AdaptiveWindowBackground::AdaptiveWindowBackground(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const std::array<QPointF, 9>& AdaptiveWindowBackground::gridPoints()
{
    static const std::array<QPointF, 9> points{QPointF(0.0, 0.0), QPointF(0.5, 0.0), QPointF(1.0, 0.0),
                                               QPointF(0.0, 0.5), QPointF(0.5, 0.5), QPointF(1.0, 0.5),
                                               QPointF(0.0, 1.0), QPointF(0.5, 1.0), QPointF(1.0, 1.0)};
    return points;
}

const std::array<QColor, 9>& AdaptiveWindowBackground::colors(VessaTheme::ColorScheme scheme)
{
    static const std::array<QColor, 9> dark{
        rgb(0.14f, 0.10f, 0.22f), rgb(0.16f, 0.12f, 0.28f), rgb(0.12f, 0.10f, 0.24f),
        rgb(0.18f, 0.12f, 0.30f), rgb(0.20f, 0.14f, 0.34f), rgb(0.14f, 0.12f, 0.28f),
        rgb(0.12f, 0.08f, 0.20f), rgb(0.16f, 0.10f, 0.26f), rgb(0.10f, 0.08f, 0.18f)};
    static const std::array<QColor, 9> light{
        rgb(0.92f, 0.88f, 0.97f), rgb(0.89f, 0.84f, 0.95f), rgb(0.93f, 0.89f, 0.97f),
        rgb(0.87f, 0.83f, 0.94f), rgb(0.85f, 0.80f, 0.93f), rgb(0.90f, 0.85f, 0.96f),
        rgb(0.94f, 0.90f, 0.98f), rgb(0.91f, 0.86f, 0.96f), rgb(0.93f, 0.88f, 0.97f)};
    return scheme == VessaTheme::ColorScheme::Dark ? dark : light;
}

const QImage& AdaptiveWindowBackground::meshImage(VessaTheme::ColorScheme scheme)
{
    static const QImage dark = renderMesh(colors(VessaTheme::ColorScheme::Dark));
    static const QImage light = renderMesh(colors(VessaTheme::ColorScheme::Light));
    return scheme == VessaTheme::ColorScheme::Dark ? dark : light;
}

void AdaptiveWindowBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), meshImage(VessaTheme::colorScheme(palette())));
}

void AdaptiveWindowBackground::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange:
    case QEvent::ThemeChange: update(); break;
    default: break;
    }
    QWidget::changeEvent(event);
}

} // namespace vessa
