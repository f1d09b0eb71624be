#pragma once

#include <QTimer>
#include <QWidget>

namespace vessa {

// A small indeterminate spinner in the text colour. It turns only while it
// is shown, so a hidden indicator costs nothing.
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    bool isSpinning() const { return m_timer.isActive(); }
    int step() const { return m_step; }

    static constexpr int spokeCount = 12;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};

} // namespace vessa
