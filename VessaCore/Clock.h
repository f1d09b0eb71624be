#pragma once

#include <QObject>

#include <optional>

class QTimer;

namespace vessa {

class AudioOutput;

// Publishes the playing position and the duration of the loaded track.
// While polling, it reads the output's currentTime at once and then every
// `interval` seconds (a main-thread timer) and publishes a changed value,
// except a time before the position it was told to hold.
// Main thread only; the output must outlive the clock.
class Clock : public QObject {
    Q_OBJECT

public:
    // `interval` in seconds; it is truncated to whole milliseconds.
    Clock(AudioOutput& output, double interval, QObject* parent = nullptr);

    // The last time read from the output while polling, or the position
    // held since; 0 after reset().
    double position() const { return m_position; }
    // The length of the loaded track; nothing when it has none.
    std::optional<double> duration() const { return m_duration; }

    void setDuration(std::optional<double> duration);
    // Stops polling, then position = 0, then duration = nothing.
    void reset();
    // Starts polling unless it is on already; the first read happens at once.
    void startPolling();
    // Stops polling; the position keeps its last value.
    void stopPolling();
    // Publishes `position` at once and keeps it while the output reads an
    // earlier time, until a read reaches it or the next hold or reset. A
    // seek needs this: the output reads 0 from its stop until it has played
    // from the new place.
    void holdAt(double position);

signals:
    void positionChanged();
    void durationChanged();

private:
    void poll();
    void setPosition(double position);

    AudioOutput& m_output;
    QTimer* m_timer;
    double m_position = 0.0;
    std::optional<double> m_duration;
    std::optional<double> m_heldAt;
};

} // namespace vessa
