#include "Vessa/Views/Theme/AdaptiveWindowBackground.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vessa {

namespace {

// Odd, so that the middle grid row and column fall on whole pixels.
constexpr int meshImageSize = 129;
// The most pixels the background's mesh is blended at, about a quarter of
// 1920 x 1080: that takes the main thread a few milliseconds.
constexpr qint64 meshPixelsComputed = 640 * 480;

QColor rgb(float red, float green, float blue)
{
    return QColor::fromRgbF(red, green, blue);
}

// Eases in and out of every grid point, so the blend has no visible creases.
float smooth(float t)
{
    return t * t * (3.0f - 2.0f * t);
}

// The mesh blended over `size` pixels: each grid row's colours blend along
// the width first, then each column between the two rows around it.
QImage renderMesh(const std::array<QColor, 9>& colors, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    // Where a line falls between its cell's two grid points.
    struct Position {
        size_t cell;
        float t;
    };
    const auto positions = [](int count) {
        const float half = float(std::max(count - 1, 1)) / 2.0f;
        std::vector<Position> along(size_t(count), Position{0, 0.0f});
        for (int i = 0; i < count; ++i) {
            const size_t cell = std::min<size_t>(size_t(float(i) / half), 1);
            along[size_t(i)] = {cell, smooth((float(i) - float(cell) * half) / half)};
        }
        return along;
    };
    const std::vector<Position> columns = positions(size.width());
    // rows[r][x] is grid row r blended across to column x, as red, green, blue.
    std::array<std::vector<std::array<float, 3>>, 3> rows;
    for (size_t r = 0; r < 3; ++r) {
        rows[r].resize(columns.size());
        for (size_t x = 0; x < columns.size(); ++x) {
            const QColor& left = colors[r * 3 + columns[x].cell];
            const QColor& right = colors[r * 3 + columns[x].cell + 1];
            const float tx = columns[x].t;
            rows[r][x] = {left.redF() + (right.redF() - left.redF()) * tx,
                          left.greenF() + (right.greenF() - left.greenF()) * tx,
                          left.blueF() + (right.blueF() - left.blueF()) * tx};
        }
    }
    const std::vector<Position> lines = positions(size.height());
    for (int y = 0; y < size.height(); ++y) {
        const auto& top = rows[lines[size_t(y)].cell];
        const auto& bottom = rows[lines[size_t(y)].cell + 1];
        const float ty = lines[size_t(y)].t;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (size_t x = 0; x < columns.size(); ++x) {
            const auto channel = [&](size_t c) {
                return qRound(std::clamp(top[x][c] + (bottom[x][c] - top[x][c]) * ty, 0.0f, 1.0f) * 255.0f);
            };
            line[x] = qRgb(channel(0), channel(1), channel(2));
        }
    }
    return image;
}

// The size the mesh is blended at for a widget of `pixels`: its own up to
// meshPixelsComputed pixels, else that many pixels of the same shape, which
// painting spreads over the widget, each repeated over the few pixels it
// covers. The colours change by less than one step over those, so it looks
// the same, and a new size of a large window costs the main thread a few
// milliseconds instead of tens.
QSize blendedSize(QSize pixels)
{
    const qint64 count = qint64(pixels.width()) * pixels.height();
    if (count <= meshPixelsComputed)
        return pixels;
    const double scale = std::sqrt(double(meshPixelsComputed) / double(count));
    return QSize(std::max(2, int(pixels.width() * scale)), std::max(2, int(pixels.height() * scale)));
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
    static const QImage dark = renderMesh(colors(VessaTheme::ColorScheme::Dark), QSize(meshImageSize, meshImageSize));
    static const QImage light = renderMesh(colors(VessaTheme::ColorScheme::Light), QSize(meshImageSize, meshImageSize));
    return scheme == VessaTheme::ColorScheme::Dark ? dark : light;
}

void AdaptiveWindowBackground::paintEvent(QPaintEvent*)
{
    const VessaTheme::ColorScheme scheme = VessaTheme::colorScheme(palette());
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_imagePixels != pixels || m_imageScheme != scheme) {
        m_image = renderMesh(colors(scheme), blendedSize(pixels));
        m_imagePixels = pixels;
        m_imageScheme = scheme;
    }
    QPainter painter(this);
    if (m_image.size() == pixels) {
        m_image.setDevicePixelRatio(ratio);
        painter.drawImage(QPoint(0, 0), m_image);
    } else {
        // The nearest blended pixel: a smooth transformation would wait for
        // Qt's global thread pool.
        painter.drawImage(QRectF(rect()), m_image);
    }
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
