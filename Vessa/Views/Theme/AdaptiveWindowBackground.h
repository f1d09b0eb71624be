#pragma once

#include "Vessa/Views/Theme/VessaTheme.h"

#include <QImage>
#include <QPointF>
#include <QWidget>

#include <array>

namespace vessa {

// The soft violet background behind the main and Equalizer windows: a 3 x 3
// colour mesh, smoothly blended between its grid points, in a light and a
// dark variant that follow the palette. The mesh is computed at the widget's
// own size when that or the variant changes, and painting copies it as it is:
// scaling an image smoothly waits for Qt's global thread pool, which long
// background work may fill. A large window's mesh is blended at a smaller
// size and painted with its pixels repeated, so that dragging the window's
// edge stays smooth.
class AdaptiveWindowBackground : public QWidget {
    Q_OBJECT
public:
    explicit AdaptiveWindowBackground(QWidget* parent = nullptr);

    // The mesh's grid points in unit coordinates, row by row from the top left.
    static const std::array<QPointF, 9>& gridPoints();
    static const std::array<QColor, 9>& colors(VessaTheme::ColorScheme scheme);
    // The blended mesh; its corner, edge-middle and centre pixels hold the
    // grid colours exactly.
    static const QImage& meshImage(VessaTheme::ColorScheme scheme);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The mesh for a widget of m_imagePixels device pixels, in m_imageScheme.
    QImage m_image;
    QSize m_imagePixels;
    VessaTheme::ColorScheme m_imageScheme = VessaTheme::ColorScheme::Light;
};

} // namespace vessa
