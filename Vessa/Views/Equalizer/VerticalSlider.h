#pragma once

#include <QWidget>

namespace vessa {

// A vertical slider of the Equalizer window: a thin track with a fill that
// grows from the lowest value, a tick at the middle of the range and a round
// thumb. Dragging (or a click without moving) sets the value at the pointer,
// snapped to steps of 0.5; every pointer event reports a value, even an
// unchanged one. The slider only shows `value`: the owner writes it back.
//
// The track is `trackHeight` high; the widget is taller by the thumb's
// overhang above and below, so the thumb is whole at either end.
class VerticalSlider : public QWidget {
    Q_OBJECT
public:
    static constexpr int trackHeight = 160;
    static constexpr int thumbDiameter = 14;
    static constexpr int overhang = thumbDiameter / 2;

    VerticalSlider(float lower, float upper, QWidget* parent = nullptr);

    float value() const { return m_value; }
    void setValue(float value);
    float lower() const { return m_lower; }
    float upper() const { return m_upper; }

    // The value for a pointer `y` pixels below the top of a track `height`
    // high: the fraction from the bottom, bounded to 0...1, mapped onto the
    // range and snapped.
    static float valueAt(double y, double height, float lower, float upper);
    // `raw` to the nearest multiple of 0.5, halves away from zero (so -0.24
    // gives -0).
    static float snapped(float raw);

    // Where the thumb's centre lies, in pixels below the track's top.
    double thumbOffset() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user moved the slider to `value` (possibly the value it had).
    void valueEdited(float value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void editAt(double y);
    double trackLength() const;

    float m_lower;
    float m_upper;
    float m_value = 0;
};

} // namespace vessa
