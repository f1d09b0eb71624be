#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QSlider;

namespace vessa {

// The now-playing bar's position slider with the elapsed and total times
// below it. The clock's updates move the slider without seeking, and not
// while the user holds it; every value the user sets is handed to the seek
// action as seconds. A press anywhere on the slider sets the place under the
// pointer once and grabs the handle; holding it repeats nothing, dragging it
// sets each place it passes.
class PositionScrubber : public QWidget {
    Q_OBJECT
public:
    // The slider's steps from start to end.
    static constexpr int steps = 1000;

    explicit PositionScrubber(std::function<void(double seconds)> seek, QWidget* parent = nullptr);

    // The clock's position and duration; disabled while the duration is absent
    // or 0. `length`, when given, is the total time shown instead of the
    // duration (the length of a track shown but not loaded).
    void setTimes(double position, std::optional<double> duration, std::optional<double> length = std::nullopt);

    QSlider* slider() const { return m_slider; }
    QString elapsedText() const;
    QString totalText() const;

private:
    void userMoved(int value);

    std::function<void(double)> m_seek;
    double m_duration = 0.0;
    QSlider* m_slider;
    QLabel* m_elapsed;
    QLabel* m_total;
};

} // namespace vessa
