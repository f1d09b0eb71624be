#pragma once

#include "Vessa/Views/Theme/VessaTheme.h"

#include <QImage>
#include <QPointF>
#include <QWidget>

#include <array>

namespace vessa {

// The soft violet background behind the main and Equalizer windows: a 3 x 3
// colour mesh, smoothly blended between its grid points, in a light and a
// dark variant that follow the palette. Each variant is computed once into a
// small image, which painting only scales, so drawing creates no colours.
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
};

} // namespace vessa
