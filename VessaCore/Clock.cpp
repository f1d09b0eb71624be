#include "VessaCore/Clock.h"

#include "VessaCore/AudioOutput.h"

#include <QTimer>

#include <chrono>
#include <cmath>
#include <limits>

namespace vessa {

namespace {

// Whole milliseconds, truncated toward zero, within what a QTimer takes.
std::chrono::milliseconds intervalMilliseconds(double seconds)
{
    const double ms = std::trunc(seconds * 1000.0);
    if (!(ms > 0.0))
        return std::chrono::milliseconds(0);
    if (ms >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::chrono::milliseconds(std::numeric_limits<int>::max());
    return std::chrono::milliseconds(static_cast<int>(ms));
}

} // namespace

Clock::Clock(AudioOutput& output, double interval, QObject* parent)
    : QObject(parent), m_output(output), m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(intervalMilliseconds(interval));
    connect(m_timer, &QTimer::timeout, this, &Clock::poll);
}

void Clock::setDuration(std::optional<double> duration)
{
    if (duration == m_duration)
        return;
    m_duration = duration;
    emit durationChanged();
}

void Clock::reset()
{
    stopPolling();
    m_heldAt.reset();
    setPosition(0.0);
    setDuration(std::nullopt);
}

void Clock::startPolling()
{
    if (m_timer->isActive())
        return;
    // Start first: a slot reacting to the first read may stop polling again.
    m_timer->start();
    poll();
}

void Clock::stopPolling()
{
    m_timer->stop();
}

void Clock::holdAt(double position)
{
    m_heldAt = position;
    setPosition(position);
}

void Clock::poll()
{
    // Reads and publishes on the main thread, so nothing arrives once the
    // timer is stopped.
    const double time = m_output.currentTime();
    if (m_heldAt) {
        if (time < *m_heldAt)
            return;
        m_heldAt.reset();
    }
    setPosition(time);
}

void Clock::setPosition(double position)
{
    if (position == m_position)
        return;
    m_position = position;
    emit positionChanged();
}

} // namespace vessa
