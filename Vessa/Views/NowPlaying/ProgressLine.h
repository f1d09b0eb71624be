#pragma once

#include <QWidget>

namespace vessa {

// The now-playing bar's 2-pixel line across its full width: a faint track,
// and over it the theme's progress gradient as wide as the played fraction.
class ProgressLine : public QWidget {
    Q_OBJECT
public:
    explicit ProgressLine(QWidget* parent = nullptr);

    static constexpr int height = 2;

    double fraction() const { return m_fraction; }
    // Within 0...1.
    void setFraction(double fraction);

    QSize sizeHint() const override { return QSize(100, height); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_fraction = 0.0;
};

} // namespace vessa
